#pragma once
// Where a file that is about to be replaced really lies: its folder, held
// open, and its name there. The path is walked one name at a time relative to
// folders already open, as the kernel walks it, so what gets replaced is what
// the kernel would have opened, and nothing changed on the way can redirect
// the write.

#include "platform/os/FileError.h"
#include "platform/os/UniqueFd.h"

#include <functional>
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

// Asked of every folder a walk enters ("/" included) and every link it
// follows, with the folder that holds it (for "/", itself): a cause refuses
// the path there, naming that entry.
using PathJudge = std::function<std::optional<FileErrorCause>(const struct stat& entry,
                                                              const struct stat& folder)>;

// Symlinks are followed one hop at a time from the folder they lie in, at
// most 40 hops, but never one that another user made in a shared folder, nor
// one of /proc's links to open files. A trailing slash asks for a folder, as
// it does of the kernel. Refuses, with the cause in error, a path that names
// no place for a file, or one that judge refuses.
std::optional<TargetPlace> FindTargetPlace(const std::string& path, FileError& error,
                                           const PathJudge& judge = {});

// Whether entry is another user's in a sticky folder that users other than its
// owner may write, such as /tmp, and not the folder owner's either: a name
// that someone else chose there must not decide what we follow or overwrite.
bool PlantedInSharedFolder(const struct stat& entry, const struct stat& folder);

// Opens, for reading and without blocking, a file that holds a secret (a
// password or key file): it must belong to us or to root, and is never
// reached through another user's link in a shared folder. The descriptor, or
// -1 with the cause (ForeignSecret names the owner) in error; after a success
// error.path is the file's full path, for messages.
int OpenSecretFile(const std::string& path, FileError& error);

// Whether the sticky bit lets us rename over or remove entry in folder: we
// own the one or the other, or are root.
bool StickyAllowsRemoving(const struct stat& entry, const struct stat& folder);

} // namespace quillmar
