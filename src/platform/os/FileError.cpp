#include "platform/os/FileError.h"

#include "platform/locale/Translate.h"
#include "platform/os/Utf8.h"

#include <cerrno>
#include <cstdio>

namespace quillmar {

FileErrorCause CauseFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return FileErrorCause::FileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR:
    case ELOOP:
        return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE:
        return FileErrorCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileErrorCause::AccessDenied;
    case EBADF:
        return FileErrorCause::InvalidFile;
    case EBUSY:
    case ETXTBSY:
        return FileErrorCause::SharingViolation;
    case ESPIPE:
        return FileErrorCause::BadSeek;
    case EIO:
    case ENXIO:
    case ENODEV:
        return FileErrorCause::HardIO;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileErrorCause::DiskFull;
    case EDEADLK:
    case ENOLCK:
        return FileErrorCause::LockViolation;
    default:
        return FileErrorCause::Generic;
    }
}

std::string FileErrorSentence(const FileError& e) {
    // Whole sentences with the path as %1, so a language may put it where it belongs.
    const char* sentence = N_("An unknown error occurred while accessing %1.");
    switch (e.cause) {
    case FileErrorCause::FileNotFound:
        sentence = N_("%1 was not found.");
        break;
    case FileErrorCause::BadPath:
        sentence = N_("%1 contains an invalid path.");
        break;
    case FileErrorCause::TooManyOpenFiles:
        sentence = N_("%1 could not be opened because there are too many open files.");
        break;
    case FileErrorCause::AccessDenied:
        sentence = N_("Access to %1 was denied.");
        break;
    case FileErrorCause::InvalidFile:
        sentence = N_("An invalid file handle was associated with %1.");
        break;
    case FileErrorCause::BadSeek:
        sentence = N_("Seek failed on %1");
        break;
    case FileErrorCause::HardIO:
        sentence = N_("A hardware I/O error was reported while accessing %1.");
        break;
    case FileErrorCause::SharingViolation:
        sentence = N_("A sharing violation occurred while accessing %1.");
        break;
    case FileErrorCause::LockViolation:
        sentence = N_("A locking violation occurred while accessing %1.");
        break;
    case FileErrorCause::DiskFull:
        sentence = N_("Disk full while accessing %1.");
        break;
    case FileErrorCause::ForeignLink:
        sentence = N_("%1 is a symbolic link that another user made in a shared folder, so it "
                      "was not followed.");
        break;
    case FileErrorCause::ForeignFile:
        sentence = N_("%1 belongs to another user in a shared folder, so it was not replaced.");
        break;
    case FileErrorCause::ForeignSecret:
        return Fill(Tr(N_("%1 belongs to %2, not to you or root, so no password was read from "
                          "it.")),
                    {ShownName(e.path), ShownName(e.owner)});
    case FileErrorCause::ForeignOwner:
        sentence = N_("%1 belongs to another user.");
        break;
    case FileErrorCause::OthersMayWrite:
        sentence = N_("%1 may be written by other users.");
        break;
    case FileErrorCause::Closed:
        sentence = N_("%1 is closed.");
        break;
    case FileErrorCause::Unflushed:
        sentence = N_("%1 was replaced, but its folder could not be flushed to disk: the change "
                      "may not survive a power cut.");
        break;
    case FileErrorCause::Generic:
        break;
    }
    return Fill(Tr(sentence), {ShownName(e.path)});
}

std::string ShownName(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    const auto octal = [&](unsigned char byte) {
        char code[5];
        std::snprintf(code, sizeof code, "\\%03o", byte);
        shown += code;
    };
    while (!name.empty()) {
        const std::size_t n = Utf8CharLength(name);
        const auto byte = static_cast<unsigned char>(name.front());
        // C1 controls (U+0080..U+009F) steer terminals as the C0 ones do.
        if (n == 0 || (n == 2 && byte == 0xC2 && static_cast<unsigned char>(name[1]) < 0xA0)) {
            octal(byte);
            name.remove_prefix(1);
            continue;
        }
        if (n == 1) {
            static constexpr std::string_view kLetters = "abtnvfr"; // \a (7) to \r (13)
            if (byte == '\\')
                shown += "\\\\";
            else if (byte >= 7 && byte <= 13)
                (shown += '\\') += kLetters[byte - 7];
            else if (byte < 0x20 || byte == 0x7F)
                octal(byte);
            else
                shown += char(byte);
        } else {
            shown.append(name.substr(0, n));
        }
        name.remove_prefix(n);
    }
    return shown;
}

} // namespace quillmar
