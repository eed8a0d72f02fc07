#include "cli/CommandParts.h"

#include "blockloop/BlockPipeline.h"
#include "cli/Password.h"
#include "cli/Supervise.h"
#include "crypto/CipherModules.h"
#include "operations/FilePair.h"
#include "platform/os/Descriptors.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace quillmar::cli {

namespace {

const char* const kOneFile = ": source and target are one file.";

// Why a file could not be opened: the system's words when a failed call
// gave the cause, else the sentence for it.
std::string Why(const std::string& spelled, const FileError& error) {
    const std::string shown = ShownName(spelled);
    if (error.err != 0)
        return shown + ": " + std::strerror(error.err) + ".";
    // A closed stream is /dev/null now: read, it would pass for an empty
    // input; written, the result would go nowhere and the run say it worked.
    if (error.cause == FileErrorCause::Closed)
        return shown + ": " + FileErrorSentence(error);
    return FileErrorSentence(error);
}

// Opens SOURCE and TARGET, "-" being standard input and output. Empty, or
// the window's sentence followed by the file and the reason.
std::string OpenFiles(const CommandLine& line, BlockFiles& files) {
    const std::string &source = line.source, &target = line.target;
    const BlockOutcome opened =
        OpenBlockFiles(source, target, PosixFileLayer(), files, Dash::StandardStream);
    if (opened.kind == BlockOutcome::Kind::SourceUnopenable)
        return std::string(str::kNoSourceFile) + " " + Why(source, opened.error);
    if (opened.kind != BlockOutcome::Kind::TargetUnopenable)
        return {};
    const std::string noTarget = std::string(str::kNoTargetFile) + " ";
    // The one refusal that no failed call made.
    if (opened.error.cause == FileErrorCause::SharingViolation && opened.error.err == 0)
        return noTarget + ShownName(target) + kOneFile;
    return noTarget + Why(target, opened.error);
}

} // namespace

int RunFileCommand(const CommandLine& line, const Environment& env) {
    const bool encrypt = IsEncrypting(line.command);
    // The file panel's words for a missing module, in both directions.
    const CModule module(kFileModule, encrypt ? kEncryptEntry : kDecryptEntry, env.moduleDirs);
    if (const int status = CheckModule(module, str::kNoEncryptDll))
        return status;
    // Binary output would garble the terminal, and its reader learns nothing.
    const auto out =
        line.target == "-" ? STDOUT_FILENO : DescriptorSpelledBy(MakeAbsolutePath(line.target));
    if (out && !line.force && ::isatty(*out) == 1) {
        Say("Standard output is a terminal: redirect it to a file (> FILE) or a pipe "
            "(| COMMAND), name a TARGET, or give --force to write the bytes there anyway.");
        return kExitUsage;
    }
    BlockFiles files;
    if (const std::string why = OpenFiles(line, files); !why.empty()) {
        Say(why);
        return kExitFailed;
    }
    WipedString password{std::string()};
    if (const int status = GetPassword(line.password, encrypt, env, password.Value()))
        return status;
    std::atomic<std::uint64_t> done{0};
    const ProgressSource progress{files.source->Size(), &done};
    BlockOutcome outcome;
    const int signal = Supervise(
        [&](const std::atomic<bool>& stop) {
            outcome = RunFileCipher(files, password.Value().c_str(), module, {&stop, &done});
        },
        env, line.target != "-", line.quiet ? nullptr : &progress);
    files = {}; // an uncommitted target's temporary file goes now
    switch (outcome.kind) {
    case BlockOutcome::Kind::Success:
        return kExitDone;
    case BlockOutcome::Kind::Cancelled:
        return StopStatus(signal ? signal : SIGINT);
    case BlockOutcome::Kind::FileError:
        return ReportFileError(outcome.error);
    case BlockOutcome::Kind::SourceUnopenable:
    case BlockOutcome::Kind::TargetUnopenable:
        break;
    }
    return kExitFailed;
}

} // namespace quillmar::cli
