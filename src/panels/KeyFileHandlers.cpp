#include "panels/KeyFileHandlers.h"

#include "crypto/KeyFile.h"
#include "crypto/Wipe.h"
#include "panels/PathChooser.h"
#include "platform/os/FileError.h"
#include "platform/os/ReplacingFile.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "res/Strings.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

void ReportFileError(const CDialog& panel, const FileError& error) {
    AfxMessageBox(&panel, FileErrorSentence(error), std::nullopt, MsgIcon::Stop);
}

// Reads up to a record's worth from the start of path into record; returns
// how many bytes came, or nothing after a failure described in error.
std::optional<std::size_t> ReadRecordBytes(const std::string& path, KeyRecord& record,
                                           FileError& error) {
    // Not blocking: a named pipe with no writer must not hang the window.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = {CauseFromErrno(errno), path};
        return std::nullopt;
    }
    std::size_t got = 0;
    while (got < record.bytes.size()) {
        const ssize_t n = ::read(fd, record.bytes.data() + got, record.bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = {CauseFromErrno(errno), path};
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    return got;
}

} // namespace

void SaveKeyFromField(CDialog& panel, int passwordFieldId, std::string& rememberedPath) {
    const WipedString password(panel.GetDlgItemText(passwordFieldId));
    KeyRecord record;
    // Refused before a file is asked for: the user's choice would be wasted.
    if (!MakeKeyRecord(password.value(), record)) {
        AfxMessageBox(&panel, str::kKeyTooLong);
        return;
    }
    if (!ChoosePath(panel, rememberedPath))
        return;
    // The password stands in the clear: only its owner may read the file.
    FileError error;
    auto file = ReplacingFile::Create(rememberedPath, S_IRUSR | S_IWUSR, error, true);
    if (!file || !file->Write(record.bytes.data(), record.bytes.size(), error) ||
        !file->Commit(error)) {
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
    switch (ReadKeyRecord(std::span(record.bytes.data(), *got), password.value())) {
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
    panel.SetDlgItemText(passwordFieldId, password.value());
    const WipedString shown(panel.GetDlgItemText(passwordFieldId));
    if (shown.value() != password.value()) {
        panel.SetDlgItemText(passwordFieldId, previous.value());
        AfxMessageBox(&panel, str::kKeyNotLoadable);
        return;
    }
    AfxMessageBox(&panel, str::kKeyLoaded);
}

} // namespace quillmar
