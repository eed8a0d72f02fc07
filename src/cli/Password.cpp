#include "cli/Password.h"

#include "operations/KeyFiles.h"
#include "platform/locale/Translate.h"
#include "platform/os/FileError.h"
#include "platform/os/Wipe.h"
#include "platform/os/WriteAll.h"
#include "res/Strings.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quillmar::cli {

namespace {

PasswordResult Refuse(std::string message) {
    return {PasswordStatus::Refused, std::move(message)};
}

void Forget(std::string& password) {
    SecureWipe(password.data(), password.size());
    password.clear();
}

// False when cancelFd became readable first.
bool WaitReadable(int fd, int cancelFd) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return true; // the read tells what is wrong
        }
        if (fds[1].revents & POLLIN)
            return false;
        if (fds[0].revents)
            return true;
    }
}

PasswordResult ReadLine(int fd, int cancelFd, std::string& password, const std::string& name) {
    Forget(password);
    // Room for the longest password and one byte more: no reallocation leaves
    // a copy of a password behind.
    password.reserve(kPasswordMax + 1);
    for (;;) {
        if (!WaitReadable(fd, cancelFd)) {
            Forget(password);
            return {PasswordStatus::Cancelled, {}};
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0) {
            const int error = errno;
            Forget(password);
            return Refuse(Fill(Tr(N_("Could not read the password from %1: %2.")),
                               {name, std::strerror(error)}));
        }
        if (n == 0 || c == '\n') {
            // A file written with CR LF line ends holds the same password.
            if (c == '\n' && password.ends_with('\r')) {
                password.back() = '\0';
                password.pop_back();
            }
            return {};
        }
        if (password.size() == kPasswordMax) {
            Forget(password);
            return Refuse(Fill(TrN(NN_("The password is longer than %1 bytes."),
                                   NN_("The password is longer than %1 bytes."), kPasswordMax),
                               {std::to_string(kPasswordMax)}));
        }
        password.push_back(c);
    }
}

// Well-formed UTF-8 as the window's text fields take it: no overlong forms,
// no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char b = *p;
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // the second byte's range
        if (b < 0x80)
            length = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            length = 2;
        else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        } else
            return false;
        if (std::size_t(end - p) < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
            if (p[k] < lo || p[k] > hi)
                return false;
        }
        p += length;
    }
    return true;
}

PasswordResult Check(std::string& password, const char* notTextMessage) {
    std::string message;
    if (password.empty())
        message = str::kFillPassword;
    else if (password.find('\0') != std::string::npos)
        message = N_("The password holds a zero byte, which ends it for the cipher modules.");
    else if (!IsUtf8(password))
        message = notTextMessage;
    if (message.empty())
        return {};
    Forget(password);
    return Refuse(std::move(message));
}

// The terminal while echo is off, for the signal handlers below.
int g_tty = -1;
termios g_saved{}, g_quiet{};

// Signals that end or stop the process; SIGINT, SIGTERM and SIGHUP are
// taken through the stop descriptor instead.
constexpr int kEndingSignals[] = {SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU,
                                  SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE};
struct sigaction g_before[std::size(kEndingSignals) + 1]; // and SIGCONT's

void OnEndingSignal(int sig);

void Handle(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int s : kEndingSignals)
        sigaddset(&action.sa_mask, s); // also lets tcsetattr work from the background
    ::sigaction(sig, &action, nullptr);
}

// Puts the terminal back, then does what the signal would have done: the
// process ends, or stops until SIGCONT turns echo off again.
void OnEndingSignal(int sig) {
    const int savedErrno = errno;
    ::tcsetattr(g_tty, TCSANOW, &g_saved);
    ::signal(sig, SIG_DFL);
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

// Echo off on tty while it lives, and back on however the process ends or stops.
class EchoOff {
public:
    explicit EchoOff(int tty) {
        m_ok = m_handled = ::tcgetattr(tty, &g_saved) == 0;
        g_quiet = g_saved;
        g_quiet.c_lflag &= tcflag_t(~ECHO);
        g_quiet.c_lflag |= ICANON;
        g_tty = tty;
        for (std::size_t i = 0; m_handled && i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &g_before[i]);
            // A signal the caller ignores stays ignored; SIGPIPE is ignored by
            // the program itself, but would end it at the prompt.
            if (g_before[i].sa_handler != SIG_IGN || kEndingSignals[i] == SIGPIPE)
                Handle(kEndingSignals[i], OnEndingSignal);
        }
        if (m_handled) {
            ::sigaction(SIGCONT, nullptr, &g_before[std::size(kEndingSignals)]);
            Handle(SIGCONT, OnContinue);
        }
        // Flushing drops what was typed ahead, while it was still shown.
        m_ok = m_ok && ::tcsetattr(tty, TCSAFLUSH, &g_quiet) == 0;
    }
    ~EchoOff() {
        if (!m_handled)
            return;
        sigset_t all, before;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &before);
        if (m_ok)
            ::tcsetattr(g_tty, TCSAFLUSH, &g_saved);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &g_before[i], nullptr);
        ::sigaction(SIGCONT, &g_before[std::size(kEndingSignals)], nullptr);
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false, m_handled = false;
};

const char* const kNoTerminal = N_("No password: give --key-file KEYFILE or --password-fd N, or "
                                   "run quillmar in a terminal to be asked for it.");
const char* const kNotUtf8 =
    N_("The password is not UTF-8 text, which the window's password field needs.");

} // namespace

PasswordResult ReadPasswordFromDescriptor(int fd, int cancelFd, std::string& password) {
    // TRANSLATORS: where the password is read from, in "Could not read the password from %1".
    const std::string name = Fill(Tr(N_("descriptor %1")), {std::to_string(fd)});
    if (::fcntl(fd, F_GETFD) < 0) {
        Forget(password);
        return Refuse(
            Fill(Tr(N_("--password-fd %1 names no open descriptor.")), {std::to_string(fd)}));
    }
    return ReadLine(fd, cancelFd, password, name);
}

PasswordResult ReadPasswordFromFile(const std::string& path, int cancelFd, std::string& password) {
    Forget(password);
    const std::string absolute = MakeAbsolutePath(path);
    const std::string& name = absolute.empty() ? path : absolute;
    // Not blocking: a named pipe with no writer reads as empty instead of hanging.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Refuse(FileErrorSentence({CauseFromErrno(errno), name}));
    struct stat st {};
    PasswordResult result;
    if (::fstat(fd, &st) != 0)
        result = Refuse(FileErrorSentence({CauseFromErrno(errno), name}));
    else if (st.st_mode & (S_IRGRP | S_IROTH))
        result = Refuse(Fill(Tr(N_("%1 can be read by its group or by others: make it private "
                                   "with chmod 600 first.")),
                             {name}));
    else
        result = ReadLine(fd, cancelFd, password, name);
    ::close(fd);
    return result;
}

PasswordResult ReadPasswordFromKeyFile(const std::string& path, std::string& password) {
    FileError error;
    switch (LoadKeyFile(path, PosixFileLayer(), password, error)) {
    case KeyLoad::FileError:
        return Refuse(FileErrorSentence(error));
    case KeyLoad::Empty:
        return Refuse(str::kKeyFileEmpty);
    case KeyLoad::NotKeyFile:
        return Refuse(str::kNotKeyFile);
    case KeyLoad::Ok:
        break;
    }
    return Check(password, str::kKeyNotLoadable);
}

PasswordResult PromptForPassword(int tty, bool confirm, int cancelFd, std::string& password) {
    Forget(password);
    const EchoOff echoOff(tty);
    if (!echoOff.ok())
        return Refuse(kNoTerminal);
    // TRANSLATORS: where the password is read from, in "Could not read the password from %1".
    const std::string name = Tr(N_("the terminal"));
    WriteAll(tty, Tr(N_("Password: ")));
    PasswordResult result = ReadLine(tty, cancelFd, password, name);
    // The Enter key was not echoed either.
    WriteAll(tty, "\n");
    if (result.status != PasswordStatus::Ok || !confirm)
        return result;
    WipedString again{std::string()};
    WriteAll(tty, Tr(N_("Repeat password: ")));
    result = ReadLine(tty, cancelFd, again.Value(), name);
    WriteAll(tty, "\n");
    if (result.status != PasswordStatus::Ok) {
        Forget(password);
        return result;
    }
    if (again.Value() != password) {
        Forget(password);
        return Refuse(N_("The two passwords differ."));
    }
    return {};
}

PasswordResult ObtainPassword(const PasswordSource& source, bool confirm, int cancelFd,
                              std::string& password) {
    PasswordResult result;
    switch (source.kind) {
    case PasswordSource::Kind::KeyFile:
        return ReadPasswordFromKeyFile(source.file, password);
    case PasswordSource::Kind::PasswordFile:
        result = ReadPasswordFromFile(source.file, cancelFd, password);
        break;
    case PasswordSource::Kind::Descriptor:
        result = ReadPasswordFromDescriptor(source.fd, cancelFd, password);
        break;
    case PasswordSource::Kind::Prompt: {
        const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (tty < 0)
            return Refuse(kNoTerminal);
        result = PromptForPassword(tty, confirm, cancelFd, password);
        ::close(tty);
        break;
    }
    }
    if (result.status != PasswordStatus::Ok)
        return result;
    return Check(password, kNotUtf8);
}

} // namespace quillmar::cli
