#include "platform/os/Terminal.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <termios.h>

namespace quillmar {

namespace {

// The terminal while echo is off, for the signal handlers below.
int g_tty = -1;
termios g_saved{}, g_quiet{};
std::array<struct sigaction, NSIG> g_before{};

// Besides the ending signals, those that stop the process at the prompt.
constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

template <class F> void ForEachHandled(F f) {
    for (const int s : EndingSignals()) {
        // SIGINT, SIGTERM and SIGHUP end the prompt through the caller's cancel
        // descriptor while they are blocked; handled here when they are not.
        f(s);
    }
    for (const int s : kStopSignals)
        f(s);
}

void Handle(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Also lets tcsetattr work from the background.
    ForEachHandled([&](int s) { sigaddset(&action.sa_mask, s); });
    ::sigaction(sig, &action, nullptr);
}

// Puts the terminal back, then does what the signal would have done: the
// process ends, or stops until SIGCONT turns echo off again.
void OnEndingSignal(int sig) {
    const int savedErrno = errno;
    ::tcsetattr(g_tty, TCSANOW, &g_saved);
    // The handler before (one that removes temporary files, say) runs next;
    // an ignored SIGPIPE still ends the prompt.
    const struct sigaction& before = g_before[std::size_t(sig)];
    if (before.sa_handler == SIG_IGN)
        ::signal(sig, SIG_DFL);
    else
        ::sigaction(sig, &before, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::raise(sig);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr); // ends or stops here
    ::pthread_sigmask(SIG_BLOCK, &only, nullptr);
    // Continued, or never stopped: an orphaned process group ignores SIGTSTP.
    Handle(sig, OnEndingSignal);
    ::tcsetattr(g_tty, TCSANOW, &g_quiet);
    errno = savedErrno;
}

void OnContinue(int) {
    const int savedErrno = errno;
    ::tcsetattr(g_tty, TCSANOW, &g_quiet);
    errno = savedErrno;
}

} // namespace

std::span<const int> EndingSignals() {
    static const auto list = [] {
        std::array<int, NSIG> all{};
        std::size_t n = 0;
        for (const int s :
             {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
              SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
              SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS})
            all[n++] = s;
        for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
            all[n++] = s;
        return std::pair(all, n);
    }();
    return std::span<const int>(list.first.data(), list.second);
}

EchoOff::EchoOff(int tty) {
    m_ok = m_handled = ::tcgetattr(tty, &g_saved) == 0;
    g_quiet = g_saved;
    g_quiet.c_lflag &= tcflag_t(~ECHO);
    g_quiet.c_lflag |= ICANON;
    g_tty = tty;
    if (m_handled) {
        ForEachHandled([](int s) {
            ::sigaction(s, nullptr, &g_before[std::size_t(s)]);
            // A signal the caller ignores stays ignored; SIGPIPE is ignored by
            // the command line itself, but would end it at the prompt.
            if (g_before[std::size_t(s)].sa_handler != SIG_IGN || s == SIGPIPE)
                Handle(s, OnEndingSignal);
        });
        ::sigaction(SIGCONT, nullptr, &g_before[SIGCONT]);
        Handle(SIGCONT, OnContinue);
    }
    // Flushing drops what was typed ahead, while it was still shown.
    m_ok = m_ok && ::tcsetattr(tty, TCSAFLUSH, &g_quiet) == 0;
}

EchoOff::~EchoOff() {
    if (!m_handled)
        return;
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before);
    if (m_ok)
        ::tcsetattr(g_tty, TCSAFLUSH, &g_saved);
    ForEachHandled([](int s) { ::sigaction(s, &g_before[std::size_t(s)], nullptr); });
    ::sigaction(SIGCONT, &g_before[SIGCONT], nullptr);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

} // namespace quillmar
