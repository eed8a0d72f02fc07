#pragma once
// The main window: a sidebar and the two panels beside it.

#include "file/FPDlg.h"
#include "platform/ui/Dialog.h"
#include "text/TextDlg.h"

#include <string>

namespace quillmar {

class CMainDlg : public CDialog {
public:
    // With a source, the window opens on the file panel with that file as Source and the
    // name it would become as Target.
    explicit CMainDlg(std::string source = {});

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
    std::string m_startSource;
    // Declared in this order so that the text panel goes first at the end.
    CFPDlg m_filePanel;
    CTextDlg m_textPanel;
};

} // namespace quillmar
