#pragma once
// File errors as the user reads them: one standard sentence per cause, with
// the file's full path.

#include <string>
#include <string_view>

namespace quillmar {

enum class FileErrorCause {
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
    // Refusals of a target in a folder that other users may write.
    ForeignLink,
    ForeignFile,
};

struct FileError {
    FileErrorCause cause = FileErrorCause::Generic;
    std::string path; // full path
    int err = 0;      // the system's error number, when a failed call gave the cause
};

FileErrorCause CauseFromErrno(int err);
inline FileError ErrnoError(int err, std::string path) {
    return {CauseFromErrno(err), std::move(path), err};
}
std::string FileErrorSentence(const FileError& error);

// Absolute against the current folder; fails (empty) for an empty path or
// one of 260 characters or more, which cannot be opened.
std::string MakeAbsolutePath(std::string_view path);
inline constexpr std::size_t kMaxPath = 260;

} // namespace quillmar
