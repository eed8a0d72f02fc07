#pragma once
// The text panel: encrypts or decrypts its text field in place.

#include "platform/ui/Dialog.h"

#include <functional>
#include <string>

namespace quillmar {

class CTextDlg : public CDialog {
public:
    CTextDlg();

    // The system menu's About item: the About box belongs to the application.
    void SetAboutHandler(std::function<void()> showAbout) { m_showAbout = std::move(showAbout); }

protected:
    bool OnInitDialog() override;
    void OnSysCommand(int command) override;

public:
    // Command handlers, reached through the command table.
    void OnNotice();
    void OnKeyHelper();
    void OnRandomKey();
    void OnSaveKey();
    void OnLoadKey();
    void OnMaskKey();
    void OnUnmaskKey();
    void OnToClipboard();
    void OnGetClipboard();
    void OnGetClipboardText();
    void OnClipText();
    void OnEncrypt();
    void OnDecrypt();
    void OnArithmetics();
    void OnClearText();

private:
    // An undoable result can be taken back with one Undo; the other leaves no history.
    void RunCipher(bool encrypt, const char* doneMessage, bool undoable);

    std::string m_rememberedPath;
    std::function<void()> m_showAbout;
};

} // namespace quillmar
