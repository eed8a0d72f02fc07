#include "platform/os/FileError.h"

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
    const std::string p = ShownName(e.path);
    switch (e.cause) {
    case FileErrorCause::FileNotFound:
        return p + " was not found.";
    case FileErrorCause::BadPath:
        return p + " contains an invalid path.";
    case FileErrorCause::TooManyOpenFiles:
        return p + " could not be opened because there are too many open files.";
    case FileErrorCause::AccessDenied:
        return "Access to " + p + " was denied.";
    case FileErrorCause::InvalidFile:
        return "An invalid file handle was associated with " + p + ".";
    case FileErrorCause::BadSeek:
        return "Seek failed on " + p;
    case FileErrorCause::HardIO:
        return "A hardware I/O error was reported while accessing " + p + ".";
    case FileErrorCause::SharingViolation:
        return "A sharing violation occurred while accessing " + p + ".";
    case FileErrorCause::LockViolation:
        return "A locking violation occurred while accessing " + p + ".";
    case FileErrorCause::DiskFull:
        return "Disk full while accessing " + p + ".";
    case FileErrorCause::ForeignLink:
        return p + " is a symbolic link that another user made in a shared folder, so it was not "
                   "followed.";
    case FileErrorCause::ForeignFile:
        return p + " belongs to another user in a shared folder, so it was not replaced.";
    case FileErrorCause::ForeignSecret:
        return p + " belongs to " + ShownName(e.owner) +
               ", not to you or root, so no password was read from it.";
    case FileErrorCause::ForeignOwner:
        return p + " belongs to another user.";
    case FileErrorCause::OthersMayWrite:
        return p + " may be written by other users.";
    case FileErrorCause::Closed:
        return p + " is closed.";
    case FileErrorCause::Unflushed:
        return p + " was replaced, but its folder could not be flushed to disk: the change may "
                   "not survive a power cut.";
    case FileErrorCause::Generic:
        break;
    }
    return "An unknown error occurred while accessing " + p + ".";
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
