#pragma once
// Writes a file's new content beside it and puts it in the file's place only
// once every byte is written and flushed: a failure part-way never destroys
// what was there, nor leaves half a file. The content goes into a file that
// has no name until it is complete, so a crash or a kill part-way leaves
// nothing behind either.

#include "platform/os/FileError.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quillmar {

class ReplacingFile {
public:
    // Starts the new file in the folder of target (a symlink is followed, so
    // the file it points to is replaced and the link stays). The new file
    // gets the permission bits of the file it replaces, or newMode; with
    // forceMode it gets newMode whatever the replaced file had.
    static std::optional<ReplacingFile> Create(const std::string& target, mode_t newMode,
                                               FileError& error, bool forceMode = false);
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&&) = delete;
    ~ReplacingFile(); // drops the new file unless committed

    bool Write(const void* data, std::size_t size, FileError& error);
    // Flushes to disk, renames over the target and flushes the folder: after
    // a success the new content survives a power cut.
    bool Commit(FileError& error);
    void Discard();

    // For tests: behave as on a file system without unnamed files, which
    // gets a hidden named temporary file instead. Such a file is removed if
    // the process gets SIGTERM, SIGINT or SIGHUP; only SIGKILL or a crash
    // can leave it behind.
    static void ForceNamedTemporaryFiles(bool force);

private:
    ReplacingFile() = default;
    FileError Fail(int err) const { return {CauseFromErrno(err), m_target}; }
    int NameTemporary(bool linkUnnamed);

    int m_fd = -1;
    mode_t m_mode = 0;    // set just before the file takes the target's place
    std::string m_target; // resolved, absolute
    std::string m_temp;   // the new file's name, while it has one
    int m_slot = -1;      // where m_temp is listed for removal on SIGTERM, SIGINT, SIGHUP
    std::uint64_t m_written = 0, m_flushedFrom = 0;
};

} // namespace quillmar
