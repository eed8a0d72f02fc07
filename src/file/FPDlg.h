#pragma once
// The file panel: encrypts a source file into a target file.

#include "platform/ui/Dialog.h"

#include <string>

namespace quillmar {

class CFPDlg : public CDialog {
public:
    CFPDlg();

    // The file name offered by every chooser of this panel.
    std::string& RememberedPath() { return m_rememberedPath; }

protected:
    bool OnInitDialog() override;

public:
    // Command handlers, reached through the command table.
    void OnBrowseSource();
    void OnBrowseTarget();
    void OnLoadKey();
    void OnSaveKey();
    void OnGetClipboard();
    void OnToClipboard();
    void OnMask();
    void OnEncrypt();
    void OnDecrypt();

private:
    void RunCipher(const char* entry, const char* progressLabel, const char* doneMessage);

    std::string m_rememberedPath;
    bool m_running = false;
};

} // namespace quillmar
