#include "platform/os/ReplacingFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {
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
} // namespace

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
    mode_t mode = newMode;
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
            mode = st.st_mode & 07777;
    }
    const std::filesystem::path tp(f.m_target);
    std::string templ = (tp.parent_path() / ("." + tp.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) {
        error = f.Fail(errno);
        return std::nullopt;
    }
    f.m_fd = fd;
    f.m_temp = templ;
    if (::fchmod(fd, mode) != 0) {
        error = f.Fail(errno);
        return std::nullopt; // f's destructor removes the temporary file
    }
    return std::optional<ReplacingFile>(std::move(f));
}

ReplacingFile::ReplacingFile(ReplacingFile&& o) noexcept
    : m_fd(o.m_fd), m_target(std::move(o.m_target)), m_temp(std::move(o.m_temp)) {
    o.m_fd = -1;
    o.m_temp.clear();
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
    }
    return true;
}

bool ReplacingFile::Commit(FileError& error) {
    if (m_fd < 0)
        return false;
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        error = Fail(errno);
        return false;
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
    return true;
}

} // namespace quillmar
