#include "platform/os/FileStreams.h"

#include "platform/os/ReplacingFile.h"
#include "platform/os/TargetPlace.h"
#include "platform/os/Wipe.h"
#include "platform/os/WriteAll.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h> // BLKGETSIZE64
#include <linux/openat2.h>
#include <poll.h>
#include <sys/syscall.h>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillmar {

namespace {

// How often a read that waits on a device looks for a cancel request.
constexpr int kWaitSliceMs = 40;

class PosixReader : public ByteReader {
public:
    // waitFirst: a blocking descriptor that may hold its bytes back, polled
    // before each read so that a cancel request ends the wait.
    PosixReader(int fd, std::string path, std::uint64_t size, std::optional<FileIdentity> id,
                bool waitFirst = false)
        : m_fd(fd), m_path(std::move(path)), m_size(size), m_id(id),
          m_buffer(std::make_unique<char[]>(kFileChunk)), m_waitFirst(waitFirst) {}
    ~PosixReader() override {
        // What was read may be the plaintext.
        SecureWipe(m_buffer.get(), kFileChunk);
        ::close(m_fd);
    }
    PosixReader(const PosixReader&) = delete;
    PosixReader& operator=(const PosixReader&) = delete;

    std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) override {
        std::size_t got = 0;
        while (got < size) {
            if (m_pos == m_len && !m_eof && size - got >= kFileChunk) {
                // A big read goes straight to the caller: one copy less.
                const auto n = ReadSome(data + got, size - got, error);
                if (!n)
                    return std::nullopt;
                m_eof = *n == 0;
                got += *n;
                continue;
            }
            if (m_pos == m_len && !m_eof && !Refill(error))
                return std::nullopt;
            if (m_pos == m_len)
                break;
            const std::size_t n = std::min(size - got, m_len - m_pos);
            std::memcpy(data + got, m_buffer.get() + m_pos, n);
            m_pos += n;
            got += n;
        }
        return got;
    }
    std::uint64_t Size() const override { return m_size; }
    std::optional<FileIdentity> Identity() const override { return m_id; }
    void CancelWith(const std::atomic<bool>* cancel) override { m_cancel = cancel; }

private:
    bool Refill(FileError& error) {
        m_pos = m_len = 0;
        const auto n = ReadSome(m_buffer.get(), kFileChunk, error);
        if (!n)
            return false;
        m_len = *n;
        m_eof = *n == 0;
        return true;
    }

    // What the file gives next, up to size bytes; 0 at its end.
    std::optional<std::size_t> ReadSome(char* into, std::size_t size, FileError& error) {
        for (;;) {
            if (m_waitFirst && !WaitForBytes()) {
                error = {FileErrorCause::Generic, m_path}; // cancelled: the caller knows
                return std::nullopt;
            }
            const ssize_t n = ::read(m_fd, into, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (m_cancel && WaitForBytes())
                    continue;
                error = {FileErrorCause::Generic, m_path}; // cancelled: the caller knows
                return std::nullopt;
            }
            if (n < 0) {
                error = ErrnoError(errno, m_path);
                return std::nullopt;
            }
            return std::size_t(n);
        }
    }

    // Only a device's or a pipe's descriptor stays non-blocking. False once cancelled.
    bool WaitForBytes() {
        pollfd p{m_fd, POLLIN, 0};
        while (!(m_cancel && m_cancel->load(std::memory_order_relaxed))) {
            // Ready, a hang-up or an error: the next read tells which. A
            // signal only interrupts the wait.
            const int ready = ::poll(&p, 1, kWaitSliceMs);
            if (ready > 0 || (ready < 0 && errno != EINTR))
                return true;
        }
        return false;
    }

    int m_fd;
    std::string m_path;
    std::uint64_t m_size;
    std::optional<FileIdentity> m_id;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_pos = 0, m_len = 0;
    bool m_eof = false;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_waitFirst;
};

// Collects small writes into big ones for a Sink with Write and Commit.
template <class Sink> class BufferedWriter : public ByteWriter {
public:
    explicit BufferedWriter(Sink file)
        : m_file(std::move(file)), m_buffer(std::make_unique<char[]>(kFileChunk)) {}
    ~BufferedWriter() override { SecureWipe(m_buffer.get(), kFileChunk); }
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;

    bool Write(const char* data, std::size_t size, FileError& error) override {
        if (m_len == 0 && size >= kFileChunk) {
            // Whole chunks go straight to the file: one copy less.
            const std::size_t direct = size / kFileChunk * kFileChunk;
            if (!m_file.Write(data, direct, error))
                return false;
            data += direct;
            size -= direct;
        }
        while (size > 0) {
            if (m_len == kFileChunk && !Flush(error))
                return false;
            const std::size_t n = std::min(size, kFileChunk - m_len);
            std::memcpy(m_buffer.get() + m_len, data, n);
            m_len += n;
            data += n;
            size -= n;
        }
        return true;
    }
    bool Commit(FileError& error) override { return Flush(error) && m_file.Commit(error); }
    std::optional<FileIdentity> Replaces() const override { return m_file.Replaces(); }

private:
    bool Flush(FileError& error) {
        const std::size_t n = m_len;
        m_len = 0;
        return n == 0 || m_file.Write(m_buffer.get(), n, error);
    }

    Sink m_file;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_len = 0;
};

// An open descriptor as a sink: what is written goes out at once and stays.
class DescriptorSink {
public:
    DescriptorSink(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}
    DescriptorSink(DescriptorSink&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_name(std::move(other.m_name)) {}
    DescriptorSink& operator=(DescriptorSink&&) = delete;
    ~DescriptorSink() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool Write(const char* data, std::size_t size, FileError& error) {
        if (const int err = WriteAll(m_fd, data, size)) {
            error = ErrnoError(err, m_name);
            return false;
        }
        return true;
    }
    std::optional<FileIdentity> Replaces() const {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return IdentityOf(st);
    }
    // A regular file is flushed to disk, so success means the bytes are
    // stored; a pipe or terminal has nothing more to flush.
    bool Commit(FileError& error) {
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(m_fd) != 0) {
            error = ErrnoError(errno, m_name);
            return false;
        }
        return true;
    }

private:
    int m_fd;
    std::string m_name;
};

// Non-blocking, so that naming a FIFO cannot hang the window here. A link of
// /proc's to an open file (/proc/PID/fd/N, .../cwd) on the way is refused:
// it names what another process holds, or a pipe that reopened is another.
int OpenData(const std::string& path, FileError& error) {
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    how.resolve = RESOLVE_NO_MAGICLINKS;
    int fd = int(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
    // Before Linux 5.6, or a sandbox whose filter does not know the call: as open() would.
    if (fd < 0 && (errno == ENOSYS || errno == EPERM))
        fd = ::open(path.c_str(), int(how.flags));
    if (fd < 0)
        error = errno == ELOOP && ::access(path.c_str(), F_OK) == 0
                    ? FileError{FileErrorCause::BadPath, path}
                    : ErrnoError(errno, path);
    return fd;
}

// umask() can only be read by changing it, which would race with other
// threads creating files; the kernel shows it here instead.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return mode_t(std::stoul(line.substr(6), nullptr, 8)) & 0777;
    }
    return 022;
}

class PosixLayer : public FileLayer {
public:
    std::unique_ptr<ByteReader> OpenRead(const std::string& path, Reading reading,
                                         FileError& error) override {
        error = {FileErrorCause::Generic, path};
        const int fd =
            reading == Reading::Secret ? OpenSecretFile(path, error) : OpenData(path, error);
        if (fd < 0)
            return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            error = ErrnoError(errno, path);
            ::close(fd);
            return nullptr;
        }
        std::uint64_t size = std::uint64_t(st.st_size);
        if (S_ISREG(st.st_mode)) {
            if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
                error = ErrnoError(errno, path);
                ::close(fd);
                return nullptr;
            }
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        } else if (S_ISBLK(st.st_mode)) {
            // Users encrypt whole disks. A device stays non-blocking: one that
            // never ends or never delivers is stopped by the user's Cancel.
            if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
                size = 0;
        } else if (S_ISCHR(st.st_mode) || (S_ISFIFO(st.st_mode) && reading == Reading::Secret)) {
            size = 0; // not known
        } else {
            // A folder has no bytes to read (as a read would say), a refused
            // pipe has its reasons at Pipes, a socket cannot be opened at all.
            if (S_ISDIR(st.st_mode))
                error = ErrnoError(EISDIR, path);
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixReader>(fd, path, size, IdentityOf(st));
    }

    std::unique_ptr<ByteWriter> OpenReplace(const std::string& path, Readers readers,
                                            FileError& error) override {
        const bool ownerOnly = readers == Readers::OwnerOnly;
        auto file = ReplacingFile::Create(
            path, ownerOnly ? S_IRUSR | S_IWUSR : 0666 & ~CurrentUmask(), error, ownerOnly);
        if (!file)
            return nullptr;
        return std::make_unique<BufferedWriter<ReplacingFile>>(std::move(*file));
    }
};

FileLayer* g_layer = nullptr;

} // namespace

std::unique_ptr<ByteReader> ReaderOnDescriptor(int fd, std::string name) {
    // Our own descriptor: closing it leaves the caller's open.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    struct stat st {};
    if (own < 0 || ::fstat(own, &st) != 0) {
        if (own >= 0)
            ::close(own);
        return nullptr;
    }
    std::uint64_t size = 0;
    if (S_ISREG(st.st_mode)) {
        const off_t at = ::lseek(own, 0, SEEK_CUR);
        size = at >= 0 && at < st.st_size ? std::uint64_t(st.st_size - at) : 0;
    }
    return std::make_unique<PosixReader>(own, std::move(name), size, IdentityOf(st),
                                         !S_ISREG(st.st_mode));
}

std::unique_ptr<ByteWriter> WriterOnDescriptor(int fd, std::string name) {
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    return std::make_unique<BufferedWriter<DescriptorSink>>(DescriptorSink(own, std::move(name)));
}

FileLayer& PosixFileLayer() {
    static PosixLayer layer;
    return layer;
}

void SetFileLayer(FileLayer* layer) {
    g_layer = layer;
}

FileLayer& CurrentFileLayer() {
    return g_layer ? *g_layer : PosixFileLayer();
}

} // namespace quillmar
