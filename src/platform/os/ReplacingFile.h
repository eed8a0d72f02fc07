#pragma once
// Writes a file's new content beside it and puts it in the file's place only
// once every byte is written and flushed: a failure part-way never destroys
// what was there, nor leaves half a file.

#include "platform/os/FileError.h"

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quillmar {

class ReplacingFile {
public:
    // Starts a temporary file in the folder of target (a symlink is followed,
    // so the file it points to is replaced and the link stays). The new file
    // gets the permission bits of the file it replaces, or newMode; with
    // forceMode it gets newMode whatever the replaced file had.
    static std::optional<ReplacingFile> Create(const std::string& target, mode_t newMode,
                                               FileError& error, bool forceMode = false);
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&&) = delete;
    ~ReplacingFile(); // removes the temporary file unless committed

    bool Write(const void* data, std::size_t size, FileError& error);
    // Flushes to disk and renames over the target.
    bool Commit(FileError& error);
    void Discard();

    const std::string& TargetPath() const { return m_target; }
    const std::string& TemporaryPath() const { return m_temp; }

private:
    ReplacingFile() = default;
    FileError Fail(int err) const { return {CauseFromErrno(err), m_target}; }

    int m_fd = -1;
    std::string m_target; // resolved, absolute
    std::string m_temp;
};

} // namespace quillmar
