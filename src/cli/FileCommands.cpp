#include "cli/CommandParts.h"

#include "blockloop/BlockPipeline.h"
#include "cli/Password.h"
#include "cli/Supervise.h"
#include "operations/FilePair.h"
#include "platform/locale/Translate.h"
#include "platform/os/Descriptors.h"
#include "platform/os/Paths.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace quillmar::cli {

namespace {

const char* const kOneFile = N_("%1: source and target are one file.");

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

// Why SOURCE or TARGET could not be opened: empty, or the window's sentence
// followed by the file and the reason.
std::string WhyNotOpened(const CommandLine& line, const BlockOutcome& opened) {
    const std::string &source = line.source, &target = line.target;
    if (opened.kind == BlockOutcome::Kind::SourceUnopenable)
        return std::string(Tr(str::kNoSourceFile)) + " " + Why(source, opened.error);
    if (opened.kind != BlockOutcome::Kind::TargetUnopenable)
        return {};
    const std::string noTarget = std::string(Tr(str::kNoTargetFile)) + " ";
    // The one refusal that no failed call made.
    if (opened.error.cause == FileErrorCause::SharingViolation && opened.error.err == 0)
        return noTarget + Fill(Tr(kOneFile), {ShownName(target)});
    return noTarget + Why(target, opened.error);
}

} // namespace

int RunFileCommand(const CommandLine& line, const Environment& env) {
    const bool encrypt = IsEncrypting(line.command);
    // Binary output would garble the terminal, and its reader learns nothing.
    const auto out =
        line.target == "-" ? STDOUT_FILENO : DescriptorSpelledBy(MakeAbsolutePath(line.target));
    if (out && !line.force && ::isatty(*out) == 1) {
        Say(N_("Standard output is a terminal: redirect it to a file (> FILE) or a pipe "
               "(| COMMAND), name a TARGET, or give --force to write the bytes there anyway."));
        return kExitUsage;
    }
    BlockFiles files;
    const FileRunStart start = StartFileRun(line.source, line.target, encrypt, env.moduleDirs,
                                            PosixFileLayer(), files, Dash::StandardStream);
    if (const std::string why = WhyNotOpened(line, start.opened); !why.empty()) {
        Say(why);
        return kExitFailed;
    }
    if (const int status = CheckModule(*start.module, start.bindingFailure))
        return status;
    const CModule& module = *start.module;
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
