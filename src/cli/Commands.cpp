#include "cli/CommandParts.h"

#include "cli/Password.h"
#include "cli/Supervise.h"
#include "operations/FilePair.h"
#include "platform/locale/Translate.h"
#include "platform/os/Descriptors.h"
#include "platform/os/WriteAll.h"
#include "platform/os/WriteWhole.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace quillmar::cli {

// Nothing is read from or written to a closed standard stream as if it
// were empty: the result would go nowhere, and the run would say it worked.
int RefuseClosed(bool reads) {
    const char* closed = reads && !WasInherited(STDIN_FILENO) ? N_("Standard input is closed.")
                         : !WasInherited(STDOUT_FILENO)       ? N_("Standard output is closed.")
                                                              : nullptr;
    if (!closed)
        return kExitDone;
    Say(closed);
    return kExitFailed;
}

int ReportFileError(const FileError& error) {
    std::string line = FileErrorSentence(error);
    // A size limit (ulimit -f) is no full disk, though the window counts it as one.
    if (error.err == EFBIG)
        (line += ' ') += std::string(std::strerror(EFBIG)) + ".";
    Say(line);
    return error.cause == FileErrorCause::Unflushed ? kExitUnflushed : kExitFailed;
}

bool WriteStandardOutput(const char* data, std::size_t size, FileError& error) {
    return WriteWhole(STDOUT_FILENO, {data, size}, kStandardOutput, error);
}

int CheckModule(const CModule& module, const char* failure) {
    for (const auto& reason : module.Skipped())
        Say(reason);
    if (!failure)
        return kExitDone;
    Say(failure);
    return kExitFailed;
}

int GetPassword(const PasswordSource& source, bool confirm, const Environment& env,
                std::string& password) {
    const PasswordResult result = ObtainPassword(source, confirm, env.stopFd, password);
    switch (result.status) {
    case PasswordStatus::Ok:
        return kExitDone;
    case PasswordStatus::Cancelled:
        return StopStatus(TakeStopSignal(env.stopFd));
    case PasswordStatus::Refused:
        Say(result.message);
        break;
    }
    return kExitUsage;
}

int RunCommand(const CommandLine& line, const Environment& env) {
    switch (line.command) {
    case Command::EncryptFile:
    case Command::DecryptFile:
        return RunFileCommand(line, env);
    case Command::EncryptText:
    case Command::DecryptText:
        return RunTextCommand(line, env);
    case Command::RandomKey:
        return RunRandomKey();
    case Command::SaveKey:
        return RunSaveKey(line, env);
    case Command::Help:
    case Command::Version:
        break;
    }
    return kExitUsage;
}

// Every message in the user's language: one that is no message id (already translated, or
// built around a path) comes back as it is.
void Say(std::string_view message) {
    std::string line = "quillmar: ";
    line += Tr(std::string(message).c_str());
    line += '\n';
    WriteAll(STDERR_FILENO, line);
}

} // namespace quillmar::cli
