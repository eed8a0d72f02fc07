#pragma once
// Which file a path names, whatever its spelling: relative, with "..", through
// a symlink or a hard link. Linux has no sharing modes, so this is how one
// file named twice is told apart from two files.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillmar {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The file a stat() or fstat() described.
FileIdentity IdentityOf(const struct stat& st);

} // namespace quillmar
