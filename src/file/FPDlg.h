#pragma once
// The file panel: encrypts a source file into a target file.

#include "platform/ui/Dialog.h"

#include <string>

namespace quillmar {

class CFPDlg : public CDialog {
public:
    CFPDlg();

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
    void RunCipher(bool encrypt, const char* progressLabel, const char* doneMessage);

    std::string m_rememberedPath;
    bool m_running = false;
};

} // namespace quillmar
