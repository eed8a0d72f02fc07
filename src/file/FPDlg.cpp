#include "file/FPDlg.h"

#include "blockloop/BlockPipeline.h"
#include "operations/FilePair.h"
#include "operations/Passwords.h"
#include "operations/ProgressText.h"
#include "panels/CipherBinding.h"
#include "panels/KeyFileHandlers.h"
#include "panels/PathChooser.h"
#include "platform/os/FileError.h"
#include "platform/os/Wipe.h"
#include "platform/ui/FileDrop.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ProgressRunner.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Templates.h"

namespace quillmar {

namespace {
const CommandEntry<CFPDlg> kCommands[] = {
    {IDC_BROWSESRC, &CFPDlg::OnBrowseSource},
    {IDC_BROWSETGT, &CFPDlg::OnBrowseTarget},
    {IDC_LOADKEY, &CFPDlg::OnLoadKey},
    {IDC_SAVEKEY, &CFPDlg::OnSaveKey},
    {IDC_GETCLIP, &CFPDlg::OnGetClipboard},
    {IDC_TOCLIP, &CFPDlg::OnToClipboard},
    {IDC_MASK, &CFPDlg::OnMask},
    {IDC_FENCRYPT, &CFPDlg::OnEncrypt},
    {IDC_FDECRYPT, &CFPDlg::OnDecrypt},
};
} // namespace

CFPDlg::CFPDlg() : CDialog(kFileTemplate) {
    SetCommandTable(this, kCommands);
}

bool CFPDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AcceptFileDrops(*this, IDC_SOURCE, str::kNameNotText);
    AcceptFileDrops(*this, IDC_TARGET, str::kNameNotText);
    return true;
}

void CFPDlg::OnBrowseSource() {
    if (ChooseExistingPath(*this, m_rememberedPath))
        SetDlgItemText(IDC_SOURCE, m_rememberedPath);
}

void CFPDlg::OnBrowseTarget() {
    ChoosePath(*this, m_rememberedPath);
    SetDlgItemText(IDC_TARGET, m_rememberedPath);
}

void CFPDlg::OnLoadKey() {
    LoadKeyIntoField(*this, IDC_PASSWORD, m_rememberedPath);
}

void CFPDlg::OnSaveKey() {
    SaveKeyFromField(*this, IDC_PASSWORD, m_rememberedPath);
}

void CFPDlg::OnGetClipboard() {
    ReplaceFromClipboard(IDC_PASSWORD);
}

void CFPDlg::OnToClipboard() {
    CopyToClipboard(IDC_PASSWORD, ClipboardContent::Secret);
}

void CFPDlg::OnMask() {
    SetPasswordChar(IDC_PASSWORD, IsDlgButtonChecked(IDC_MASK) ? '*' : 0);
    RedrawWindow();
}

void CFPDlg::OnEncrypt() {
    RunCipher(true, str::kEncryptingFile, str::kEncrypted);
}

void CFPDlg::OnDecrypt() {
    RunCipher(false, str::kDecryptingFile, str::kDecrypted);
}

void CFPDlg::RunCipher(bool encrypt, const char* progressLabel, const char* doneMessage) {
    // Events keep flowing during a run: a second run must not start inside the first.
    if (m_running)
        return;
    const std::string source = GetDlgItemText(IDC_SOURCE);
    const std::string target = GetDlgItemText(IDC_TARGET);
    const WipedString password(GetDlgItemText(IDC_PASSWORD));
    if (password.Value().empty()) {
        AfxMessageBox(this, str::kFillPassword);
        return;
    }
    if (CheckPassword(password.Value()) == PasswordProblem::TooLong) {
        AfxMessageBox(this, str::kPasswordTooLong);
        return;
    }
    BlockFiles files;
    ProgressState state;
    FileRunStart start =
        StartFileRun(source, target, encrypt, ModuleFolders(), CurrentFileLayer(), files);
    BlockOutcome outcome = start.opened;
    if (outcome.kind == BlockOutcome::Kind::Success) {
        if (!ReportBinding(this, start.bindingFailure))
            return; // the target was never touched
        const auto& module = start.module;
        const std::uint64_t total = files.source->Size();
        struct Running {
            bool& flag;
            ~Running() { flag = false; }
        } running{m_running = true};
        const auto describe = [progressLabel, total](std::uint64_t done, double seconds) {
            std::string label = Tr(progressLabel); // whole, before the numbers go in
            if (const auto at = label.find("%1"); at != std::string::npos)
                label.replace(at, 2, DescribeProgress(done, total, seconds));
            return label;
        };
        RunWithProgress({this, describe, total}, state, [&] {
            outcome = RunFileCipher(files, password.Value().c_str(), *module,
                                    {&state.cancel, &state.done});
        });
        module->Release();
        files = {};
    }
    // A file that cannot be opened is named by the panel's own words, not by why,
    // unless it was refused for what another user did: that the user must learn.
    const bool othersDoing = outcome.error.cause == FileErrorCause::ForeignLink ||
                             outcome.error.cause == FileErrorCause::ForeignFile;
    switch (outcome.kind) {
    case BlockOutcome::Kind::Success:
        AfxMessageBox(this, doneMessage);
        break;
    case BlockOutcome::Kind::SourceUnopenable:
        AfxMessageBox(this, str::kNoSourceFile);
        break;
    case BlockOutcome::Kind::TargetUnopenable:
        if (!othersDoing) {
            AfxMessageBox(this, str::kNoTargetFile);
            break;
        }
        [[fallthrough]];
    case BlockOutcome::Kind::FileError:
        AfxMessageBox(this, FileErrorSentence(outcome.error), std::nullopt, MsgIcon::Stop);
        break;
    case BlockOutcome::Kind::Cancelled:
        // The window may be gone: closing it was the cancel.
        if (!state.windowClosed)
            AfxMessageBox(this, str::kCancelled);
        break;
    }
}

} // namespace quillmar
