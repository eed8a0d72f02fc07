#include "platform/os/Detached.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmar {

namespace {

pid_t WaitFor(pid_t pid, int* status) {
    pid_t r;
    do
        r = ::waitpid(pid, status, 0);
    while (r < 0 && errno == EINTR);
    return r;
}

void CloseFrom(int first, int limit) {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, first, ~0U, 0) == 0)
        return;
#endif
    for (int fd = first; fd < limit; ++fd)
        ::close(fd);
}

// Runs in the watcher, a child that never execs: async-signal-safe calls only.
[[noreturn]] void RunWatcher(int readEnd, int writeEnd, char* const* argv, int fdLimit) {
    ::close(readEnd);
    // Holding the program's other descriptors (its display connection among them) would
    // keep them alive after the program ends.
    if (writeEnd != 3) {
        ::dup2(writeEnd, 3);
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
    }
    CloseFrom(4, fdLimit);
    if (int null = ::open("/dev/null", O_RDONLY); null >= 0) {
        ::dup2(null, 0);
        if (null != 0)
            ::close(null);
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGCHLD, &dfl, nullptr);
    ::sigaction(SIGPIPE, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    const pid_t handler = ::fork();
    if (handler == 0) {
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    char failed = 1;
    if (handler > 0 && WaitFor(handler, &status) == handler)
        failed = !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Nobody may be listening any more; that is fine.
    [[maybe_unused]] const auto written = ::write(3, &failed, 1);
    ::_exit(0);
}

} // namespace

// Only absolute PATH entries: a relative one would run whatever the current folder holds.
std::string FindProgramOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::string_view rest(path);
    for (;;) {
        const auto colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty() && dir.front() == '/') {
            std::string candidate = std::string(dir) + '/' + name;
            struct stat st {};
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        if (colon == std::string_view::npos)
            return {};
        rest.remove_prefix(colon + 1);
    }
}

int StartDetached(const std::string& program, const std::string& argument) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    // Everything the children need is made before fork: they may not allocate.
    std::string arg0 = program;
    std::string arg1 = argument;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    rlimit lim{};
    const int fdLimit =
        ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < 65536 ? int(lim.rlim_cur) : 65536;

    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        const pid_t watcher = ::fork();
        if (watcher == 0)
            RunWatcher(fds[0], fds[1], argv, fdLimit);
        ::_exit(watcher < 0 ? 1 : 0);
    }
    ::close(fds[1]);
    int status = 0;
    const bool started = child > 0 && (WaitFor(child, &status) != child ||
                                       (WIFEXITED(status) && WEXITSTATUS(status) == 0));
    if (!started) {
        ::close(fds[0]);
        return -1;
    }
    return fds[0];
}

} // namespace quillmar
