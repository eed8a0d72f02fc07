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
    // A secret (a password or key file) that belongs to someone else.
    ForeignSecret,
    // A module path that another user could change.
    ForeignOwner,
    OthersMayWrite,
    // The target was replaced, but its folder could not be flushed.
    Unflushed,
    // A descriptor named by the caller that was not open when we started.
    Closed,
};

struct FileError {
    FileErrorCause cause = FileErrorCause::Generic;
    std::string path;       // full path
    int err = 0;            // the system's error number, when a failed call gave the cause
    std::string owner = {}; // who owns the file, for ForeignSecret
};

FileErrorCause CauseFromErrno(int err);
inline FileError ErrnoError(int err, std::string path) {
    return {CauseFromErrno(err), std::move(path), err};
}
std::string FileErrorSentence(const FileError& error);

// A name as a message may show it: control characters, backslashes and
// bytes that are not UTF-8 escaped as `ls -b` escapes them, so that a name
// can neither forge a line on a terminal nor pass for another name.
std::string ShownName(std::string_view name);

} // namespace quillmar
