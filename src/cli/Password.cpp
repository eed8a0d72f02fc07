#include "Password.h"

#include "crypto/KeyFile.h"
#include "platform/os/FileError.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
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
            return Refuse("Could not read the password from " + name + ": " + std::strerror(error) +
                          ".");
        }
        if (n == 0 || c == '\n')
            return {};
        if (password.size() == kPasswordMax) {
            Forget(password);
            return Refuse("The password is longer than " + std::to_string(kPasswordMax) +
                          " bytes.");
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
        message = "The password holds a zero byte, which ends it for the cipher modules.";
    else if (!IsUtf8(password))
        message = notTextMessage;
    if (message.empty())
        return {};
    Forget(password);
    return Refuse(std::move(message));
}

class EchoOff {
public:
    explicit EchoOff(int tty) : m_tty(tty) {
        m_ok = ::tcgetattr(tty, &m_saved) == 0;
        termios quiet = m_saved;
        quiet.c_lflag &= tcflag_t(~ECHO);
        quiet.c_lflag |= ICANON;
        // Flushing drops what was typed ahead, while it was still shown.
        m_ok = m_ok && ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_ok)
            ::tcsetattr(m_tty, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool ok() const { return m_ok; }

private:
    int m_tty;
    termios m_saved{};
    bool m_ok = false;
};

const char* const kNoTerminal = "No password: give --key-file KEYFILE or --password-fd N, or run "
                                "quillmar in a terminal to be asked for it.";
const char* const kNotUtf8 =
    "The password is not UTF-8 text, which the window's password field needs.";

} // namespace

PasswordResult ReadPasswordFromDescriptor(int fd, int cancelFd, std::string& password) {
    const std::string name = "descriptor " + std::to_string(fd);
    if (::fcntl(fd, F_GETFD) < 0) {
        Forget(password);
        return Refuse("--password-fd " + std::to_string(fd) + " names no open descriptor.");
    }
    return ReadLine(fd, cancelFd, password, name);
}

PasswordResult ReadPasswordFromKeyFile(const std::string& path, std::string& password) {
    Forget(password);
    const std::string absolute = MakeAbsolutePath(path);
    const std::string& name = absolute.empty() ? path : absolute;
    // Not blocking, as Load Key: a named pipe with no writer must not hang.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Refuse(FileErrorSentence({CauseFromErrno(errno), name}));
    KeyRecord record;
    std::size_t got = 0;
    while (got < record.bytes.size()) {
        const ssize_t n = ::read(fd, record.bytes.data() + got, record.bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return Refuse(FileErrorSentence({CauseFromErrno(error), name}));
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    password.reserve(kKeyPasswordArea);
    switch (ReadKeyRecord(std::span(record.bytes.data(), got), password)) {
    case KeyReadResult::Empty:
        return Refuse(str::kKeyFileEmpty);
    case KeyReadResult::NotKeyFile:
        return Refuse(str::kNotKeyFile);
    case KeyReadResult::Ok:
        break;
    }
    return Check(password, str::kKeyNotLoadable);
}

PasswordResult PromptForPassword(int tty, bool confirm, int cancelFd, std::string& password) {
    Forget(password);
    const EchoOff echoOff(tty);
    if (!echoOff.ok())
        return Refuse(kNoTerminal);
    const std::string name = "the terminal";
    WriteAll(tty, "Password: ");
    PasswordResult result = ReadLine(tty, cancelFd, password, name);
    // The Enter key was not echoed either.
    WriteAll(tty, "\n");
    if (result.status != PasswordStatus::Ok || !confirm)
        return result;
    WipedString again{std::string()};
    WriteAll(tty, "Repeat password: ");
    result = ReadLine(tty, cancelFd, again.Value(), name);
    WriteAll(tty, "\n");
    if (result.status != PasswordStatus::Ok) {
        Forget(password);
        return result;
    }
    if (again.Value() != password) {
        Forget(password);
        return Refuse("The two passwords differ.");
    }
    return {};
}

PasswordResult ObtainPassword(const PasswordSource& source, bool confirm, int cancelFd,
                              std::string& password) {
    PasswordResult result;
    switch (source.kind) {
    case PasswordSource::Kind::KeyFile:
        return ReadPasswordFromKeyFile(source.keyFile, password);
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

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text.remove_prefix(std::size_t(n));
    }
}

} // namespace quillmar::cli
