#include "cli/Supervise.h"

#include "platform/os/WriteAll.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace quillmar::cli {

namespace {

// How long a run goes before it shows progress, and how often it updates it.
constexpr int kProgressDelayMs = 500;
constexpr int kRedrawEveryMs = 200, kPlainEveryMs = 1000;

} // namespace

int WatchStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

int TakeStopSignal(int stopFd) {
    signalfd_siginfo info{};
    if (::read(stopFd, &info, sizeof info) != ssize_t(sizeof info))
        return SIGINT;
    return int(info.ssi_signo);
}

int Supervise(const std::function<void(const std::atomic<bool>&)>& work, const Environment& env,
              bool cleansUp, const ProgressSource* progress) {
    std::atomic<bool> stop{false};
    const int finished = ::eventfd(0, EFD_CLOEXEC);
    if (finished < 0) {
        work(stop); // nothing to watch with: the run simply cannot be stopped early
        return 0;
    }
    std::jthread worker([&] {
        work(stop);
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(finished, &one, sizeof one);
    });
    int signal = 0;
    const bool redrawn = env.progress == ProgressStyle::Redrawn;
    bool shown = false; // a redrawn line is on the terminal
    int timeout = progress && env.progress != ProgressStyle::None ? kProgressDelayMs : -1;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[2] = {{finished, POLLIN, 0}, {signal ? -1 : env.stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            signal = TakeStopSignal(env.stopFd);
            if (shown)
                WriteAll(STDERR_FILENO, "\r\033[K");
            shown = false;
            timeout = -1;
            if (!cleansUp)
                ::_exit(StopStatus(signal));
            stop.store(true, std::memory_order_relaxed);
            continue;
        }
        if (ready == 0) {
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            WriteAll(STDERR_FILENO,
                     ProgressText(env.progress, progress->done->load(std::memory_order_relaxed),
                                  progress->total, seconds.count()));
            shown = redrawn;
            timeout = redrawn ? kRedrawEveryMs : kPlainEveryMs;
        }
    }
    worker.join();
    ::close(finished);
    if (shown)
        WriteAll(STDERR_FILENO, "\r\033[K");
    return signal;
}

} // namespace quillmar::cli
