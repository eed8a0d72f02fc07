#include "mail/MailDlg.h"

#include "platform/ui/MessageBox.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Templates.h"

namespace quillmar {

namespace {
const CommandEntry<CMailDlg> kCommands[] = {
    {IDC_SEND, &CMailDlg::OnSend},
    {IDC_MAILCANCEL, &CMailDlg::OnCancel},
};
} // namespace

CMailDlg::CMailDlg() : CDialog(kMailTemplate) {
    SetCommandTable(this, kCommands);
}

void CMailDlg::OnSend() {
    m_address = GetDlgItemText(IDC_MAILADDR);
    m_subject = GetDlgItemText(IDC_SUBJECT);
    if (m_address.empty()) {
        AfxMessageBox(this, str::kFillAddressAndSubject);
        return;
    }
    EndDialog(IDOK);
}

} // namespace quillmar
