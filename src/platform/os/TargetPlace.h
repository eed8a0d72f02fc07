#pragma once
// Where a file that is about to be replaced really lies: its folder, held
// open, and its name there. The path is walked one name at a time relative to
// folders already open, as the kernel walks it, so what gets replaced is what
// the kernel would have opened, and nothing changed on the way can redirect
// the write.

#include "platform/os/FileError.h"
#include "platform/os/UniqueFd.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillmar {

struct TargetPlace {
    UniqueFd folder;   // opened with O_PATH
    std::string name;  // in folder
    std::string shown; // the full path, for messages
    struct stat folderStat {};
    std::optional<struct stat> existing; // what name holds now; nothing for a new file
};

// Symlinks are followed one hop at a time from the folder they lie in, at
// most 40 hops, but never one that another user made in a shared folder.
// Refuses, with the cause in error, a path that names no place for a file.
std::optional<TargetPlace> FindTargetPlace(const std::string& path, FileError& error);

// A sticky folder that users other than its owner may write, such as /tmp.
bool IsSharedFolder(const struct stat& folder);

} // namespace quillmar
