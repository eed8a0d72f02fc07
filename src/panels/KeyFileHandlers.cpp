#include "panels/KeyFileHandlers.h"

#include "crypto/KeyFile.h"
#include "platform/os/Wipe.h"
#include "panels/PathChooser.h"
#include "platform/os/FileError.h"
#include "platform/os/FileStreams.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "res/Strings.h"

#include <optional>
#include <span>

namespace quillmar {

namespace {

void ReportFileError(const CDialog& panel, const FileError& error) {
    AfxMessageBox(&panel, FileErrorSentence(error), std::nullopt, MsgIcon::Stop);
}

// Reads up to a record's worth from the start of path into record; returns
// how many bytes came, or nothing after a failure described in error. A named
// pipe gives what it holds: with no writer it must not hang the window.
std::optional<std::size_t> ReadRecordBytes(const std::string& path, KeyRecord& record,
                                           FileError& error) {
    const auto reader = AfxFileLayer().OpenRead(path, Pipes::Read, error);
    if (!reader)
        return std::nullopt;
    return reader->Read(reinterpret_cast<char*>(record.bytes.data()), record.bytes.size(), error);
}

} // namespace

void SaveKeyFromField(CDialog& panel, int passwordFieldId, std::string& rememberedPath) {
    const WipedString password(panel.GetDlgItemText(passwordFieldId));
    KeyRecord record;
    // Refused before a file is asked for: the user's choice would be wasted.
    if (!MakeKeyRecord(password.Value(), record)) {
        AfxMessageBox(&panel, str::kKeyTooLong);
        return;
    }
    if (!ChoosePath(panel, rememberedPath))
        return;
    // The password stands in the clear: only its owner may read the file.
    FileError error;
    const auto* bytes = reinterpret_cast<const char*>(record.bytes.data());
    auto file = AfxFileLayer().OpenReplace(rememberedPath, Readers::OwnerOnly, error);
    if (!file || !file->Write(bytes, record.bytes.size(), error) || !file->Commit(error)) {
        ReportFileError(panel, error);
        return;
    }
    AfxMessageBox(&panel, str::kKeySaved);
}

void LoadKeyIntoField(CDialog& panel, int passwordFieldId, std::string& rememberedPath) {
    if (!ChoosePath(panel, rememberedPath))
        return;
    KeyRecord record;
    FileError error;
    const auto got = ReadRecordBytes(rememberedPath, record, error);
    if (!got) {
        ReportFileError(panel, error);
        return;
    }
    WipedString password{std::string()};
    switch (ReadKeyRecord(std::span(record.bytes.data(), *got), password.Value())) {
    case KeyReadResult::Empty:
        AfxMessageBox(&panel, str::kKeyFileEmpty);
        return;
    case KeyReadResult::NotKeyFile:
        AfxMessageBox(&panel, str::kNotKeyFile);
        return;
    case KeyReadResult::Ok:
        break;
    }
    // The field holds text: bytes from another system may not survive it, and
    // a password that comes back changed is another password.
    const WipedString previous(panel.GetDlgItemText(passwordFieldId));
    panel.SetDlgItemText(passwordFieldId, password.Value());
    const WipedString shown(panel.GetDlgItemText(passwordFieldId));
    if (shown.Value() != password.Value()) {
        panel.SetDlgItemText(passwordFieldId, previous.Value());
        AfxMessageBox(&panel, str::kKeyNotLoadable);
        return;
    }
    AfxMessageBox(&panel, str::kKeyLoaded);
}

} // namespace quillmar
