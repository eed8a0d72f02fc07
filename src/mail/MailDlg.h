#pragma once
// The mail dialog: asks for the address and the subject of one mail.

#include "platform/ui/Dialog.h"

#include <string>

namespace quillmar {

class CMailDlg : public CDialog {
public:
    CMailDlg();

    // What Send read from the fields.
    const std::string& Address() const { return m_address; }
    const std::string& Subject() const { return m_subject; }

    // Command handlers, reached through the command table.
    void OnSend();
    // The Cancel button ends the dialog as Esc and the close box do.
    void OnCancel() override { CDialog::OnCancel(); }

protected:
    // Enter reads the fields like Send: ending without them would mail to nobody.
    void OnOK() override { OnSend(); }

private:
    std::string m_address;
    std::string m_subject;
};

} // namespace quillmar
