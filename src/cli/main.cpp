// quillmar: the window's encryption for scripts, backups and servers.
#include "cli/CommandParts.h"
#include "cli/Supervise.h"
#include "platform/locale/Translate.h"
#include "platform/os/Descriptors.h"
#include "platform/os/Module.h"
#include "platform/os/ProcessHardening.h"
#include "platform/os/WriteAll.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quillmar;
using namespace quillmar::cli;

namespace {

// A closed standard descriptor would be taken by the next file opened, and a
// message meant for standard error could land in a target file. "-" still
// names the closed stream, not /dev/null: see WasInherited.
void OpenStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) != fd)
            ::_exit(kExitFailed);
    }
}

// Escape sequences only where the terminal can move its cursor.
ProgressStyle ProgressOnStandardError() {
    if (::isatty(STDERR_FILENO) != 1)
        return ProgressStyle::None;
    const char* term = std::getenv("TERM");
    return !term || !*term || std::string_view(term) == "dumb" ? ProgressStyle::Plain
                                                               : ProgressStyle::Redrawn;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything is opened: --password-fd and /dev/fd/N name only these.
    NoteInheritedDescriptors();
    // Before any password is in memory.
    HardenProcess();
    OpenStandardDescriptors();
    InitTranslations(CataloguesOf(ProgramPath()));
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.error.empty()) {
        Say(Fill(Tr(N_("%1 (quillmar --help shows how)")), {Tr(parsed.error.c_str())}));
        WriteAll(STDERR_FILENO, Tr(parsed.hint.data()));
        return kExitUsage;
    }
    if (parsed.line.command == Command::Help || parsed.line.command == Command::Version) {
        const std::string text = parsed.line.command == Command::Help
                                     ? UsageText()
                                     : std::string("quillmar ") + QUILLMAR_VERSION + "\n";
        FileError error; // asked for, so a failed write is a failure
        return WriteStandardOutput(text.data(), text.size(), error) ? kExitDone : kExitFailed;
    }
    const Environment env{.moduleDirs = ProgramModuleDirectories(),
                          .stopFd = WatchStopSignals(),
                          .progress = ProgressOnStandardError()};
    return RunCommand(parsed.line, env);
}
