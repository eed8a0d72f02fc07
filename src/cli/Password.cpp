#include "cli/Password.h"

#include "operations/KeyFiles.h"
#include "operations/Passwords.h"
#include "platform/locale/Translate.h"
#include "platform/os/Descriptors.h"
#include "platform/os/FileError.h"
#include "platform/os/Paths.h"
#include "platform/os/TargetPlace.h"
#include "platform/os/Terminal.h"
#include "platform/os/Wipe.h"
#include "platform/os/WriteAll.h"
#include "res/Strings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <sys/stat.h>
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
            return Refuse(str::kPasswordTooLong);
        }
        password.push_back(c);
    }
}

PasswordResult Check(std::string& password, const char* notTextMessage) {
    const char* message = nullptr;
    switch (CheckPassword(password)) {
    case PasswordProblem::None:
        return {};
    case PasswordProblem::Empty:
        message = str::kFillPassword;
        break;
    case PasswordProblem::ZeroByte:
        message = N_("The password holds a zero byte, which ends it for the cipher modules.");
        break;
    case PasswordProblem::NotText:
        message = notTextMessage;
        break;
    case PasswordProblem::TooLong:
        message = str::kPasswordTooLong;
        break;
    }
    Forget(password);
    return Refuse(message);
}

const char* const kNoTerminal = N_("No password: give --key-file KEYFILE or --password-fd N, or "
                                   "run quillmar in a terminal to be asked for it.");
const char* const kNotUtf8 =
    N_("The password is not UTF-8 text, which the window's password field needs.");

} // namespace

PasswordResult ReadPasswordFromDescriptor(int fd, int cancelFd, std::string& password) {
    // TRANSLATORS: where the password is read from, in "Could not read the password from %1".
    const std::string name = Fill(Tr(N_("descriptor %1")), {std::to_string(fd)});
    // Only one the caller passed: a closed one is /dev/null now, and a higher
    // one may be the program's own source file or signal descriptor.
    if (!WasInherited(fd)) {
        Forget(password);
        return Refuse(
            Fill(Tr(N_("--password-fd %1 names no open descriptor.")), {std::to_string(fd)}));
    }
    return ReadLine(fd, cancelFd, password, name);
}

PasswordResult ReadPasswordFromFile(const std::string& path, int cancelFd, std::string& password) {
    Forget(password);
    const std::string absolute = MakeAbsolutePath(path);
    if (const auto fd = DescriptorSpelledBy(absolute))
        return ReadPasswordFromDescriptor(*fd, cancelFd, password);
    FileError error{FileErrorCause::BadPath, path};
    // Not blocking: a named pipe with no writer reads as empty instead of hanging.
    const int fd = absolute.empty() ? -1 : OpenSecretFile(absolute, error);
    if (fd < 0)
        return Refuse(FileErrorSentence(error));
    const std::string name = ShownName(error.path);
    struct stat st {};
    PasswordResult result;
    if (::fstat(fd, &st) != 0)
        result = Refuse(FileErrorSentence(ErrnoError(errno, error.path)));
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
    case KeyLoad::NotShowable:
        return Refuse(str::kKeyNotLoadable);
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
