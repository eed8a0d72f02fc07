#include "app/MainDlg.h"

#include "app/AboutBox.h"
#include "app/GuideDlg.h"
#include "mail/MailDlg.h"
#include "mailto/MailUrl.h"
#include "operations/FilePair.h"
#include "platform/os/Paths.h"
#include "platform/ui/HelpKey.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/PaneKeys.h"
#include "platform/ui/UrlLauncher.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Templates.h"

#include <filesystem>

namespace quillmar {

namespace {
const CommandEntry<CMainDlg> kCommands[] = {
    {IDC_TEXT, &CMainDlg::OnText},   {IDC_FILE, &CMainDlg::OnFile}, {IDC_MAIL, &CMainDlg::OnMail},
    {IDC_ABOUT, &CMainDlg::OnAbout}, {IDC_HELP, &CMainDlg::OnHelp},
};
} // namespace

CMainDlg::CMainDlg(std::string source) : CDialog(kMainTemplate), m_startSource(std::move(source)) {
    SetCommandTable(this, kCommands);
    m_textPanel.SetAboutHandler([this] { OnAbout(); });
}

bool CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // Flush right of the sidebar, whatever the font makes of its width.
    const int x = GetItemRect(IDC_TEXT).right;
    m_textPanel.Create(this);
    m_textPanel.SetWindowPos(x, 0);
    m_textPanel.ShowWindow(SW_SHOWNORMAL);
    m_filePanel.Create(this);
    m_filePanel.SetWindowPos(x, 0);
    // A panel's title bar makes it taller than its template: keep the contact
    // box and Help clear of it.
    const int below = GetItemRect(IDC_CONTACT).top;
    MoveControlsBelow(below, PanelAreaBottom() + MapY(2) - below);
    if (!m_startSource.empty()) {
        // Named on the command line, as a file manager's "Open with" does: the source and the
        // name it would be encrypted or decrypted to; nothing runs until a button is pressed.
        const std::string absolute = MakeAbsolutePath(m_startSource);
        const std::string source = absolute.empty() ? m_startSource : absolute;
        OnFile();
        m_filePanel.SetDlgItemText(IDC_SOURCE, source);
        m_filePanel.SetDlgItemText(IDC_TARGET, ProposedTarget(source));
    }
    SetHelpKey(*this, [this] { OnHelp(); });
    // Top to bottom as the buttons stand; Help belongs to the sidebar for the keyboard.
    SetPaneKeys(*this, {IDC_TEXT, IDC_FILE, IDC_MAIL, IDC_ABOUT, IDC_HELP},
                {{&m_textPanel, IDC_TEXT}, {&m_filePanel, IDC_FILE}});
    return true;
}

void CMainDlg::OnText() {
    m_filePanel.ShowWindow(SW_HIDE);
    m_textPanel.ShowWindow(SW_SHOWNORMAL);
}

void CMainDlg::OnFile() {
    m_textPanel.ShowWindow(SW_HIDE);
    m_filePanel.ShowWindow(SW_SHOWNORMAL);
}

void CMainDlg::OnMail() {
    OnText();
    // Taken now: what goes out is the text as it stood when Mail was pressed.
    const std::string text = m_textPanel.GetDlgItemText(IDC_TEXTFIELD);
    if (text.empty()) {
        AfxMessageBox(this, str::kNoTextToSend);
        return;
    }
    CMailDlg mail;
    if (mail.DoModal() != IDOK)
        return;
    // The text stays in the panel, so a failed launch loses nothing.
    const auto notStarted = [this] { AfxMessageBox(this, str::kMailNotStarted); };
    if (!AfxOpenUrl(MakeMailtoUrl(mail.Address(), mail.Subject(), text), this, notStarted))
        notStarted();
}

void CMainDlg::OnAbout() {
    CAboutBox about;
    about.DoModal();
}

void CMainDlg::OnHelp() {
    CGuideDlg guide;
    guide.DoModal();
}

} // namespace quillmar
