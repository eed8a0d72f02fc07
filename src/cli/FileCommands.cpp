#include "cli/CommandParts.h"

#include "blockloop/BlockPipeline.h"
#include "cli/Password.h"
#include "cli/Supervise.h"
#include "crypto/CipherModules.h"
#include "operations/FilePair.h"
#include "platform/locale/Translate.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace quillmar::cli {

namespace {

const char* const kInputClosed = N_("standard input is closed.");
const char* const kOutputClosed = N_("standard output is closed.");
const char* const kOneFile = N_("%1: source and target are one file.");

// Why a file could not be opened: the system's words when a failed call
// gave the cause, else the sentence for it.
std::string Why(const std::string& spelled, const FileError& error) {
    if (error.err != 0)
        return spelled + ": " + std::strerror(error.err) + ".";
    return FileErrorSentence(error);
}

// Opens SOURCE and TARGET, "-" being standard input and output. Empty, or
// the window's sentence followed by the file and the reason.
std::string OpenFiles(const CommandLine& line, const Environment& env, BlockFiles& files) {
    const std::string &source = line.source, &target = line.target;
    const std::string noSource = std::string(Tr(str::kNoSourceFile)) + " ";
    const std::string noTarget = std::string(Tr(str::kNoTargetFile)) + " ";
    // A closed stream is /dev/null now: read, it would pass for an empty
    // input; written, the result would go nowhere and the run say it worked.
    if (source == "-" && IsClosed(env, STDIN_FILENO))
        return noSource + "-: " + Tr(kInputClosed);
    const BlockOutcome opened =
        OpenBlockFiles(source, target, PosixFileLayer(), files, {.dashNamesStream = true});
    if (opened.kind == BlockOutcome::Kind::SourceUnopenable)
        return noSource + Why(source, opened.error);
    if (target == "-" && IsClosed(env, STDOUT_FILENO)) {
        files = {};
        return noTarget + "-: " + Tr(kOutputClosed);
    }
    if (opened.kind != BlockOutcome::Kind::TargetUnopenable)
        return {};
    // The one refusal that no failed call made.
    if (opened.error.cause == FileErrorCause::SharingViolation && opened.error.err == 0)
        return noTarget + Fill(Tr(kOneFile), {target});
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
    if (line.target == "-" && !line.force && ::isatty(STDOUT_FILENO) == 1) {
        Say(N_("Standard output is a terminal: redirect it to a file (> FILE) or a pipe "
               "(| COMMAND), name a TARGET, or give --force to write the bytes there anyway."));
        return kExitUsage;
    }
    BlockFiles files;
    if (const std::string why = OpenFiles(line, env, files); !why.empty()) {
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
        Say(FileErrorSentence(outcome.error));
        return kExitFailed;
    case BlockOutcome::Kind::SourceUnopenable:
    case BlockOutcome::Kind::TargetUnopenable:
        break;
    }
    return kExitFailed;
}

} // namespace quillmar::cli
