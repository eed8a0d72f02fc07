#include "platform/os/ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

std::atomic<bool> g_forceNamed{false};

// The named temporary files that exist right now, for a signal handler to
// remove: a fixed table, since the handler may neither allocate nor lock.
enum SlotState : int { kFree, kFilling, kLive };
struct TemporarySlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free);
TemporarySlot g_temporaries[16];

constexpr int kCleanedSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction g_previous[std::size(kCleanedSignals)];

void RemoveTemporaries(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (auto& slot : g_temporaries) {
        if (slot.state.load(std::memory_order_acquire) == kLive)
            ::unlink(slot.path);
    }
    std::size_t i = 0;
    while (kCleanedSignals[i] != sig)
        ++i;
    const struct sigaction& previous = g_previous[i];
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL) {
        previous.sa_handler(sig);
    } else {
        // Ends the process as it would have ended: the signal stays blocked
        // until this handler returns, then takes its default action.
        ::sigaction(sig, &previous, nullptr);
        ::raise(sig);
    }
    errno = savedErrno;
}

// Once, and only in a process that ever names a temporary file.
void InstallSignalCleanup() {
    static const bool installed = [] {
        for (std::size_t i = 0; i < std::size(kCleanedSignals); ++i) {
            const int sig = kCleanedSignals[i];
            struct sigaction previous {};
            if (::sigaction(sig, nullptr, &previous) != 0)
                continue;
            // An ignored signal does not end the process, so the file is still wanted.
            if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN)
                continue;
            g_previous[i] = previous;
            struct sigaction cleanup {};
            cleanup.sa_sigaction = RemoveTemporaries;
            cleanup.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&cleanup.sa_mask);
            for (const int other : kCleanedSignals)
                sigaddset(&cleanup.sa_mask, other);
            ::sigaction(sig, &cleanup, nullptr);
        }
        return true;
    }();
    (void)installed;
}

// The slot, or -1 when the table is full: that file is then not removed on
// a signal, but is written all the same.
int RegisterTemporary(const std::string& path) {
    InstallSignalCleanup();
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < int(std::size(g_temporaries)); ++i) {
        int expected = kFree;
        auto& slot = g_temporaries[i];
        if (slot.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void UnregisterTemporary(int slot) {
    if (slot >= 0)
        g_temporaries[slot].state.store(kFree, std::memory_order_release);
}

std::string ResolveTarget(const std::string& path) {
    // Follow a chain of symlinks by hand: the final file need not exist yet.
    std::filesystem::path p = std::filesystem::absolute(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(p, ec))
            break;
        auto next = std::filesystem::read_symlink(p, ec);
        if (ec)
            break;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return p.lexically_normal().string();
}

std::string FolderOf(const std::string& target) {
    return std::filesystem::path(target).parent_path().string();
}

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
    const std::filesystem::path tp(target);
    std::string name = "." + tp.filename().string() + ".";
    for (int i = 0; i < 6; ++i, bits /= sizeof kChars - 1)
        name += kChars[bits % (sizeof kChars - 1)];
    return (tp.parent_path() / name).string();
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

// Flushes the folder's entries, so that the rename is on disk too.
int SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    // A symlink that leads round in a circle names no file: the rename would
    // put a new file in the link's place.
    struct stat probe {};
    if (::stat(target.c_str(), &probe) != 0 && errno == ELOOP) {
        error = {FileErrorCause::BadPath, target};
        return std::nullopt;
    }
    f.m_target = ResolveTarget(target);
    error = {FileErrorCause::Generic, f.m_target};
    struct stat st {};
    f.m_mode = newMode;
    if (::stat(f.m_target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error.cause =
                S_ISDIR(st.st_mode) ? FileErrorCause::BadPath : FileErrorCause::AccessDenied;
            return std::nullopt;
        }
        // A file we could not have written in place is not replaced either.
        if (::access(f.m_target.c_str(), W_OK) != 0) {
            error = f.Fail(errno);
            return std::nullopt;
        }
        if (!forceMode)
            f.m_mode = st.st_mode & 07777;
    }
    if (!g_forceNamed) {
        const int fd = ::open(FolderOf(f.m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
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
// name. The name is registered before it exists, so that no signal finds the
// file on disk and unknown. 0 or an errno value.
int ReplacingFile::NameTemporary(bool linkUnnamed) {
    const std::string proc = linkUnnamed ? ProcPath(m_fd) : std::string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = TemporaryName(m_target);
        m_slot = RegisterTemporary(m_temp);
        bool made = false;
        if (linkUnnamed) {
            made =
                ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, m_temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
        } else {
            m_fd = ::open(m_temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            made = m_fd >= 0;
        }
        if (made)
            return 0;
        const int err = errno;
        UnregisterTemporary(m_slot);
        m_slot = -1;
        m_temp.clear();
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

ReplacingFile::ReplacingFile(ReplacingFile&& o) noexcept
    : m_fd(o.m_fd), m_mode(o.m_mode), m_target(std::move(o.m_target)), m_temp(std::move(o.m_temp)),
      m_slot(o.m_slot), m_written(o.m_written), m_flushedFrom(o.m_flushedFrom) {
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
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    UnregisterTemporary(m_slot);
    m_slot = -1;
}

bool ReplacingFile::Write(const void* data, std::size_t size, FileError& error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(m_fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that stores nothing counts as a full disk.
            error = n < 0 ? Fail(errno) : FileError{FileErrorCause::DiskFull, m_target};
            return false;
        }
        p += n;
        size -= std::size_t(n);
        m_written += std::uint64_t(n);
    }
    // Start putting what is written on disk now, so that the flush at the end
    // has little left to wait for. Only a hint: Commit's fsync reports errors.
    if (m_written - m_flushedFrom >= kWritebackStep) {
        ::sync_file_range(m_fd, off64_t(m_flushedFrom), off64_t(m_written - m_flushedFrom),
                          SYNC_FILE_RANGE_WRITE);
        m_flushedFrom = m_written;
    }
    return true;
}

bool ReplacingFile::Commit(FileError& error) {
    if (m_fd < 0)
        return false;
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
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        error = Fail(errno);
        return false;
    }
    m_temp.clear();
    UnregisterTemporary(m_slot);
    m_slot = -1;
    if (const int err = SyncFolder(FolderOf(m_target))) {
        error = Fail(err);
        return false;
    }
    return true;
}

} // namespace quillmar
