#include "platform/os/TemporaryFiles.h"

#include "platform/os/Terminal.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace quillmar {

namespace {

// A fixed table, since a signal handler may neither allocate nor lock.
enum SlotState : int { kFree, kFilling, kLive };
struct TemporarySlot {
    std::atomic<int> state{kFree};
    int folder = -1;
    char name[NAME_MAX + 1];
};
static_assert(std::atomic<int>::is_always_lock_free);
TemporarySlot g_temporaries[16];

std::array<struct sigaction, NSIG> g_previous{};

void RemoveTemporaries(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (auto& slot : g_temporaries) {
        if (slot.state.load(std::memory_order_acquire) == kLive)
            ::unlinkat(slot.folder, slot.name, 0);
    }
    const struct sigaction& previous = g_previous[std::size_t(sig)];
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
        struct sigaction cleanup {};
        cleanup.sa_sigaction = RemoveTemporaries;
        cleanup.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&cleanup.sa_mask);
        for (const int sig : EndingSignals())
            sigaddset(&cleanup.sa_mask, sig);
        for (const int sig : EndingSignals()) {
            struct sigaction& previous = g_previous[std::size_t(sig)];
            if (::sigaction(sig, nullptr, &previous) != 0)
                continue;
            // An ignored signal does not end the process, so the file is still wanted.
            if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN)
                continue;
            ::sigaction(sig, &cleanup, nullptr);
        }
        return true;
    }();
    (void)installed;
}

} // namespace

int ListTemporary(int folder, const char* name) {
    InstallSignalCleanup();
    const std::size_t length = std::strlen(name);
    if (length > NAME_MAX)
        return -1;
    for (int i = 0; i < int(std::size(g_temporaries)); ++i) {
        int expected = kFree;
        auto& slot = g_temporaries[i];
        if (slot.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
            slot.folder = folder;
            std::memcpy(slot.name, name, length + 1);
            slot.state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void UnlistTemporary(int slot) {
    if (slot >= 0)
        g_temporaries[slot].state.store(kFree, std::memory_order_release);
}

std::size_t TemporaryTableSize() {
    return std::size(g_temporaries);
}

} // namespace quillmar
