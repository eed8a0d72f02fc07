#pragma once
// The main window: a sidebar and the two panels beside it.

#include "file/FPDlg.h"
#include "platform/ui/Dialog.h"
#include "text/TextDlg.h"

namespace quillmar {

class CMainDlg : public CDialog {
public:
    CMainDlg();

    CTextDlg& TextPanel() { return m_textPanel; }
    CFPDlg& FilePanel() { return m_filePanel; }

protected:
    bool OnInitDialog() override;
    // Enter and Esc must not end the program and lose the user's text.
    void OnOK() override {}
    void OnCancel() override {}

public:
    // Command handlers, reached through the command table.
    void OnText();
    void OnFile();
    void OnMail();
    void OnAbout();
    void OnHelp();

private:
    // Declared in this order so that the text panel goes first at the end.
    CFPDlg m_filePanel;
    CTextDlg m_textPanel;
};

} // namespace quillmar
