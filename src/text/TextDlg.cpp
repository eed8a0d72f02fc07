#include "text/TextDlg.h"

#include "keys/RandomKey.h"
#include "operations/Binding.h"
#include "operations/Passwords.h"
#include "operations/TextCipher.h"
#include "panels/CipherBinding.h"
#include "panels/KeyFileHandlers.h"
#include "platform/os/Wipe.h"
#include "platform/ui/MessageBox.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Templates.h"

#include <cstring>

namespace quillmar {

namespace {
// "Clear Text" is handled here although the original left it dead: a button
// that says Clear Text must clear the text.
const CommandEntry<CTextDlg> kCommands[] = {
    {IDC_NOTICE, &CTextDlg::OnNotice},        {IDC_KEYHELPER, &CTextDlg::OnKeyHelper},
    {IDC_RANDOMKEY, &CTextDlg::OnRandomKey},  {IDC_SAVEKEY, &CTextDlg::OnSaveKey},
    {IDC_LOADKEY, &CTextDlg::OnLoadKey},      {IDC_MASKKEY, &CTextDlg::OnMaskKey},
    {IDC_UNMASKKEY, &CTextDlg::OnUnmaskKey},  {IDC_TOCLIP, &CTextDlg::OnToClipboard},
    {IDC_GETCLIP, &CTextDlg::OnGetClipboard}, {IDC_GETCLIPTEXT, &CTextDlg::OnGetClipboardText},
    {IDC_CLIPTEXT, &CTextDlg::OnClipText},    {IDC_ENCRYPT, &CTextDlg::OnEncrypt},
    {IDC_DECRYPT, &CTextDlg::OnDecrypt},      {IDC_ARITHMETICS, &CTextDlg::OnArithmetics},
    {IDC_CLEARTEXT, &CTextDlg::OnClearText},
};
} // namespace

CTextDlg::CTextDlg() : CDialog(kTextTemplate) {
    SetCommandTable(this, kCommands);
}

bool CTextDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AppendSystemMenuItem(IDM_ABOUTBOX, str::kAboutMenu);
    SetIcon();
    SetDlgItemText(IDC_STATUS, Tr(str::kReady));
    AddComboString(IDC_ARITHLIST, str::kTrv);
    SetComboSel(IDC_ARITHLIST, 0);
    return true;
}

void CTextDlg::OnSysCommand(int command) {
    if (command == IDM_ABOUTBOX && m_showAbout)
        m_showAbout();
}

void CTextDlg::OnNotice() {
    AfxMessageBox(this, str::kNotice, str::kNoticeCaption, MsgIcon::Exclamation);
    RedrawWindow();
}

void CTextDlg::OnKeyHelper() {
    AfxMessageBox(this, str::kKeyHelper, str::kNoticeCaption, MsgIcon::Exclamation);
    RedrawWindow();
}

void CTextDlg::OnArithmetics() {
    AfxMessageBox(this, str::kArithmetics);
}

void CTextDlg::OnRandomKey() {
    const auto key = MakeRandomKey();
    if (!key) {
        AfxMessageBox(this, str::kNoRandomKey, std::nullopt, MsgIcon::Stop);
        return;
    }
    SetDlgItemText(IDC_PASSWORD, *key);
}

void CTextDlg::OnSaveKey() {
    SaveKeyFromField(*this, IDC_PASSWORD, m_rememberedPath);
}

void CTextDlg::OnLoadKey() {
    LoadKeyIntoField(*this, IDC_PASSWORD, m_rememberedPath);
}

void CTextDlg::OnMaskKey() {
    SetPasswordChar(IDC_PASSWORD, '*');
    RedrawWindow();
}

void CTextDlg::OnUnmaskKey() {
    SetPasswordChar(IDC_PASSWORD, 0);
    RedrawWindow();
}

void CTextDlg::OnToClipboard() {
    CopyToClipboard(IDC_PASSWORD, ClipboardContent::Secret);
}
void CTextDlg::OnGetClipboard() {
    ReplaceFromClipboard(IDC_PASSWORD);
}
void CTextDlg::OnGetClipboardText() {
    ReplaceFromClipboard(IDC_TEXTFIELD);
}
void CTextDlg::OnClipText() {
    CopyToClipboard(IDC_TEXTFIELD);
}
void CTextDlg::OnClearText() {
    SetDlgItemText(IDC_TEXTFIELD, "");
}

void CTextDlg::OnEncrypt() {
    // Undo must never bring back the text that was just encrypted.
    RunCipher(true, str::kEncrypted, false);
}
void CTextDlg::OnDecrypt() {
    // A wrong password gives garbage that nothing can detect: one Undo brings the encrypted
    // text back.
    RunCipher(false, str::kDecrypted, true);
}

void CTextDlg::RunCipher(bool encrypt, const char* doneMessage, bool undoable) {
    // The text may be the secret: no copy of it stays behind either.
    WipedString wiped(GetDlgItemText(IDC_TEXTFIELD));
    std::string& text = wiped.Value();
    WipedString password(GetDlgItemText(IDC_PASSWORD));
    if (text.empty() || password.Value().empty()) {
        AfxMessageBox(this, str::kFillTextAndPassword);
        return;
    }
    if (CheckPassword(password.Value()) == PasswordProblem::TooLong) {
        AfxMessageBox(this, str::kPasswordTooLong);
        return;
    }
    if (!FitsOneCall(text.size())) {
        AfxMessageBox(this, str::kTextTooLong);
        return;
    }
    auto module = BindCipher(this, TextModuleFor(encrypt));
    if (!module)
        return;
    RunTextCipher(module->Entry(), password.Value().c_str(), text);
    if (undoable)
        ReplaceDlgItemText(IDC_TEXTFIELD, text);
    else
        SetDlgItemText(IDC_TEXTFIELD, text);
    module->Release();
    SetDlgItemText(IDC_STATUS, Tr(doneMessage));
}

} // namespace quillmar
