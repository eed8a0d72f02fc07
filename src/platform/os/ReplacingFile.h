#pragma once
// Writes a file's new content beside it and puts it in the file's place only
// once every byte is written and flushed: a failure part-way never destroys
// what was there, nor leaves half a file. The content goes into a file that
// has no name until it is complete, so a crash or a kill part-way leaves
// nothing behind either.

#include "platform/os/FileError.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/TargetPlace.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quillmar {

class ReplacingFile {
public:
    // Starts the new file in the folder of target. A symlink is followed the
    // way the kernel follows it, so the file it points to is replaced and the
    // link stays; see FindTargetPlace for the links that are refused. In a
    // folder that other users may write, another user's file is refused, and
    // so is any file that the sticky bit will not let us rename over. A new
    // file gets newMode; one that replaces a file keeps that file's owner,
    // group and permission bits where it may, and where it may not, no one
    // gains access by the change (never set-id or sticky bits). forceMode
    // (a key file's owner-only) narrows the bits further. Commit fails with
    // Unflushed when the file was replaced but its folder not flushed.
    static std::optional<ReplacingFile> Create(const std::string& target, mode_t newMode,
                                               FileError& error, bool forceMode = false);
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&&) = delete;
    ~ReplacingFile(); // drops the new file unless committed

    [[nodiscard]] bool Write(const void* data, std::size_t size, FileError& error);
    // Flushes to disk, renames over the target and flushes the folder: after
    // a success the new content survives a power cut.
    [[nodiscard]] bool Commit(FileError& error);
    void Discard();

    // The file that the commit would replace, if there is one.
    std::optional<FileIdentity> Replaces() const { return m_replaces; }

    // For tests: behave as on a file system without unnamed files, which
    // gets a hidden named temporary file instead.
    static void ForceNamedTemporaryFiles(bool force);

private:
    ReplacingFile() = default;
    FileError Fail(int err) const { return ErrnoError(err, m_place.shown); }
    int NameTemporary(bool linkUnnamed);
    int KeepOwners();

    int m_fd = -1;
    mode_t m_mode = 0; // set just before the file takes the target's place
    TargetPlace m_place;
    std::string m_temp; // the new file's name in the target's folder, while it has one
    int m_slot = -1;    // where m_temp is listed for removal on a signal
    std::optional<FileIdentity> m_replaces;
    std::optional<struct stat> m_old; // the file replaced, when there is one
    bool m_forceMode = false;
    std::uint64_t m_written = 0, m_flushedFrom = 0;
};

} // namespace quillmar
