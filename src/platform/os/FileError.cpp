#include "platform/os/FileError.h"

#include "platform/locale/Translate.h"

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
    case FileErrorCause::Generic:
        break;
    }
    return Fill(Tr(sentence), {e.path});
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
