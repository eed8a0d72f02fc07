#include "platform/os/Descriptors.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace quillmar {

namespace {

std::vector<int>& Inherited() {
    static std::vector<int> fds;
    return fds;
}
std::atomic<bool> g_noted{false};

// A number of digits only, as the kernel names a descriptor in /proc.
std::optional<int> Number(std::string_view digits) {
    int n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
        digits.front() == '+' || n < 0)
        return std::nullopt;
    return n;
}

} // namespace

void NoteInheritedDescriptors() {
    static const bool noted = [] {
        std::vector<int>& fds = Inherited();
        // The listing's own descriptor is the one it shows besides the inherited ones.
        if (DIR* dir = ::opendir("/proc/self/fd")) {
            const int own = ::dirfd(dir);
            while (const dirent* e = ::readdir(dir)) {
                if (const auto fd = Number(e->d_name); fd && *fd != own)
                    fds.push_back(*fd);
            }
            ::closedir(dir);
        } else {
            // Without /proc, ask each number up to the limit, not beyond a million.
            rlimit limit{};
            const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &limit) == 0
                                   ? std::min<rlim_t>(limit.rlim_cur, 1 << 20)
                                   : 1024;
            for (int fd = 0; fd < int(top); ++fd) {
                if (::fcntl(fd, F_GETFD) >= 0)
                    fds.push_back(fd);
            }
        }
        std::sort(fds.begin(), fds.end());
        g_noted = true;
        return true;
    }();
    (void)noted;
}

bool WasInherited(int fd) {
    if (!g_noted)
        return ::fcntl(fd, F_GETFD) >= 0;
    return std::binary_search(Inherited().begin(), Inherited().end(), fd);
}

std::optional<int> DescriptorSpelledBy(std::string_view path) {
    if (path == "/dev/stdin")
        return 0;
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    const auto after = [&](std::string_view prefix) -> std::optional<int> {
        if (!path.starts_with(prefix))
            return std::nullopt;
        return Number(path.substr(prefix.size()));
    };
    const std::string mine = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
          std::string_view("/proc/thread-self/fd/"), std::string_view(mine)}) {
        if (const auto fd = after(prefix))
            return fd;
    }
    return std::nullopt;
}

} // namespace quillmar
