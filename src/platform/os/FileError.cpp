#include "platform/os/FileError.h"

#include <cerrno>
#include <filesystem>

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
    const std::string& p = e.path;
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
    case FileErrorCause::Generic:
        break;
    }
    return "An unknown error occurred while accessing " + p + ".";
}

std::string MakeAbsolutePath(std::string_view path) {
    if (path.empty())
        return {};
    std::error_code ec;
    const auto abs = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec)
        return {};
    // "." and empty names go, but ".." stays for the kernel to resolve: after
    // a symlinked folder it leads somewhere else than the text suggests.
    std::filesystem::path kept = abs.root_path();
    for (const auto& part : abs.relative_path()) {
        if (!part.empty() && part != ".")
            kept /= part;
    }
    const std::string s = kept.string();
    if (s.size() >= kMaxPath)
        return {};
    return s;
}

} // namespace quillmar
