#include "platform/os/ReplacingFile.h"

#include "platform/os/TemporaryFiles.h"
#include "platform/os/WriteAll.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

std::atomic<bool> g_forceNamed{false};

// A hidden name beside the target, as mkstemp would choose it. Random names
// only spare retries: O_EXCL and linkat refuse one that is taken, so a
// missing random source is no reason to fail.
std::string TemporaryName(const std::string& target) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t bits = (counter++ + 1) * 0x9E3779B97F4A7C15u ^ std::uint64_t(::getpid());
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits) {
        // The counter and the process id above are name enough.
    }
    // Room for the dot, the separator and six characters in a name.
    std::string name = "." + target.substr(0, NAME_MAX - 8) + ".";
    for (int i = 0; i < 6; ++i, bits /= sizeof kChars - 1)
        name += kChars[bits % (sizeof kChars - 1)];
    return name;
}

std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Without privilege an unnamed file can only be linked through /proc, so a
// /proc that does not show it rules unnamed files out.
bool ShownInProc(int fd) {
    struct stat viaProc {};
    struct stat direct {};
    return ::stat(ProcPath(fd).c_str(), &viaProc) == 0 && ::fstat(fd, &direct) == 0 &&
           viaProc.st_dev == direct.st_dev && viaProc.st_ino == direct.st_ino;
}

bool InGroup(gid_t gid) {
    if (gid == ::getegid())
        return true;
    gid_t groups[256];
    const int n = ::getgroups(int(std::size(groups)), groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

// The permission bits of a file that takes old's place and ended up with
// now's owner and group: old's bits, but a class whose members changed gets
// no more than its new members had before. Never set-id or sticky bits: a
// file another user made setuid must not become our setuid program.
mode_t KeptBits(const struct stat& old, const struct stat& now) {
    mode_t bits = old.st_mode & 0777;
    const mode_t group = (old.st_mode >> 3) & 7, others = old.st_mode & 7;
    if (now.st_uid != old.st_uid) {
        // We could write the old file, and read it as its group or as others.
        const mode_t had = InGroup(old.st_gid) ? group : others;
        bits = (bits & 077) | ((had | 2) << 6);
    }
    if (now.st_gid != old.st_gid)
        bits = (bits & 0707) | ((group & others) << 3);
    return bits;
}

// Flushes the folder's entries, so that the rename is on disk too.
int SyncFolder(int folder) {
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES ? 0 : errno; // a folder we may not read cannot be flushed by us
    const int err = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
    ::close(fd);
    return err;
}

} // namespace

void ReplacingFile::ForceNamedTemporaryFiles(bool force) {
    g_forceNamed = force;
}

std::optional<ReplacingFile> ReplacingFile::Create(const std::string& target, mode_t newMode,
                                                   FileError& error, bool forceMode) {
    ReplacingFile f;
    auto place = FindTargetPlace(target, error);
    if (!place)
        return std::nullopt;
    f.m_place = std::move(*place);
    const TargetPlace& at = f.m_place;
    error = {FileErrorCause::Generic, at.shown};
    f.m_mode = newMode;
    if (const auto& st = at.existing) {
        if (!S_ISREG(st->st_mode)) {
            error = S_ISDIR(st->st_mode) ? ErrnoError(EISDIR, at.shown)
                                         : FileError{FileErrorCause::AccessDenied, at.shown};
            return std::nullopt;
        }
        // In /tmp and the like, another user's file may be a trap laid for us to fill.
        if (PlantedInSharedFolder(*st, at.folderStat)) {
            error.cause = FileErrorCause::ForeignFile;
            return std::nullopt;
        }
        // A file we could not have written in place is not replaced either,
        // nor one the sticky bit would keep at the rename, after the whole run.
        if (!StickyAllowsRemoving(*st, at.folderStat)) {
            error = f.Fail(EPERM);
            return std::nullopt;
        }
        if (::faccessat(at.folder.Get(), at.name.c_str(), W_OK, 0) != 0) {
            error = f.Fail(errno);
            return std::nullopt;
        }
        f.m_old = *st;
        f.m_forceMode = forceMode;
        f.m_replaces = IdentityOf(*st);
    }
    if (!g_forceNamed) {
        const int fd = ::openat(at.folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0 && ShownInProc(fd)) {
            f.m_fd = fd;
            return std::optional<ReplacingFile>(std::move(f));
        }
        if (fd >= 0) {
            ::close(fd);
        } else if (errno != EOPNOTSUPP && errno != EISDIR) {
            error = f.Fail(errno);
            return std::nullopt;
        }
    }
    // This file system has no unnamed files: a named one, that only its owner
    // may read until it is complete.
    if (const int err = f.NameTemporary(false)) {
        error = f.Fail(err);
        return std::nullopt;
    }
    return std::optional<ReplacingFile>(std::move(f));
}

// Creates the named temporary file, or links the unnamed one under a fresh
// name. The name is listed before it exists, so that no signal finds the
// file on disk and unknown. 0 or an errno value.
int ReplacingFile::NameTemporary(bool linkUnnamed) {
    const std::string proc = linkUnnamed ? ProcPath(m_fd) : std::string();
    const int folder = m_place.folder.Get();
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = TemporaryName(m_place.name);
        m_slot = ListTemporary(folder, m_temp.c_str());
        bool made = false;
        if (linkUnnamed) {
            made = ::linkat(AT_FDCWD, proc.c_str(), folder, m_temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
        } else {
            m_fd = ::openat(folder, m_temp.c_str(),
                            O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
            made = m_fd >= 0;
        }
        if (made)
            return 0;
        const int err = errno;
        UnlistTemporary(m_slot);
        m_slot = -1;
        m_temp.clear();
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

ReplacingFile::ReplacingFile(ReplacingFile&& o) noexcept
    : m_fd(o.m_fd), m_mode(o.m_mode), m_place(std::move(o.m_place)), m_temp(std::move(o.m_temp)),
      m_slot(o.m_slot), m_replaces(o.m_replaces), m_old(o.m_old), m_forceMode(o.m_forceMode),
      m_written(o.m_written), m_flushedFrom(o.m_flushedFrom) {
    o.m_fd = -1;
    o.m_temp.clear();
    o.m_slot = -1;
}

ReplacingFile::~ReplacingFile() {
    Discard();
}

void ReplacingFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlinkat(m_place.folder.Get(), m_temp.c_str(), 0);
        m_temp.clear();
    }
    UnlistTemporary(m_slot);
    m_slot = -1;
}

bool ReplacingFile::Write(const void* data, std::size_t size, FileError& error) {
    if (const int err = WriteAll(m_fd, data, size)) {
        error = Fail(err);
        return false;
    }
    m_written += size;
    // Start putting what is written on disk now, so that the flush at the end
    // has little left to wait for. Only a hint: Commit's fsync reports errors.
    if (m_written - m_flushedFrom >= kWritebackStep) {
        ::sync_file_range(m_fd, off64_t(m_flushedFrom), off64_t(m_written - m_flushedFrom),
                          SYNC_FILE_RANGE_WRITE);
        m_flushedFrom = m_written;
    }
    return true;
}

// Who may read and write the new file: no one who could not read or write the
// old one. Its owner and group stay where we may keep them (root may; anyone
// may keep a group they belong to).
int ReplacingFile::KeepOwners() {
    if (!m_old)
        return 0;
    const struct stat& old = *m_old;
    struct stat now {};
    if (::fstat(m_fd, &now) != 0)
        return errno;
    // A refusal (a file system without owners, say) shows in the stat below.
    [[maybe_unused]] int chowned = 0;
    if (now.st_uid != old.st_uid && ::geteuid() == 0)
        chowned = ::fchown(m_fd, old.st_uid, old.st_gid);
    else if (now.st_gid != old.st_gid && InGroup(old.st_gid))
        chowned = ::fchown(m_fd, uid_t(-1), old.st_gid);
    if (::fstat(m_fd, &now) != 0)
        return errno;
    const mode_t kept = KeptBits(old, now);
    // A forced mode (a key file's) is narrowed too, never widened.
    m_mode = m_forceMode ? m_mode & kept : kept;
    return 0;
}

bool ReplacingFile::Commit(FileError& error) {
    if (m_fd < 0)
        return false;
    if (const int err = KeepOwners()) {
        error = Fail(err);
        return false;
    }
    if (::fchmod(m_fd, m_mode) != 0 || (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)) {
        error = Fail(errno);
        return false;
    }
    // The unnamed file gets a name only now, complete, to be renamed at once.
    if (m_temp.empty()) {
        if (const int err = NameTemporary(true)) {
            error = Fail(err);
            return false;
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        error = Fail(errno);
        return false;
    }
    const int folder = m_place.folder.Get();
    if (::renameat(folder, m_temp.c_str(), folder, m_place.name.c_str()) != 0) {
        error = Fail(errno);
        return false;
    }
    m_temp.clear();
    UnlistTemporary(m_slot);
    m_slot = -1;
    if (const int err = SyncFolder(folder)) {
        // Too late to keep the old file: say what did happen.
        error = {FileErrorCause::Unflushed, m_place.shown, err};
        return false;
    }
    return true;
}

} // namespace quillmar
