// quillmar: the window's encryption for scripts, backups and servers.
#include "cli/Commands.h"
#include "cli/Supervise.h"
#include "platform/os/Module.h"
#include "platform/os/ProcessHardening.h"

#include "platform/locale/Translate.h"
#include <algorithm>
#include <cstdio>
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
// message meant for standard error could land in a target file. Returns
// which were closed (bit n for descriptor n): "-" must not name /dev/null.
unsigned OpenStandardDescriptors() {
    unsigned closed = 0;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0)
            continue;
        if (::open("/dev/null", O_RDWR) != fd)
            ::_exit(kExitFailed);
        closed |= 1u << fd;
    }
    return closed;
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
    // Before any password is in memory.
    HardenProcess();
    InitTranslations();
    const unsigned closed = OpenStandardDescriptors();
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.error.empty()) {
        Say(Fill(Tr(N_("%1 (quillmar --help shows how)")), {Tr(parsed.error.c_str())}));
        return kExitUsage;
    }
    if (parsed.line.command == Command::Help) {
        const std::string_view usage = Tr(UsageText().data());
        std::printf("%.*s", int(usage.size()), usage.data());
        return std::fflush(stdout) == 0 ? kExitDone : kExitFailed;
    }
    if (parsed.line.command == Command::Version) {
        std::printf("quillmar %s\n", QUILLMAR_VERSION);
        return std::fflush(stdout) == 0 ? kExitDone : kExitFailed;
    }
    const Environment env{.moduleDirs = ProgramModuleDirectories(),
                          .stopFd = WatchStopSignals(),
                          .progress = ProgressOnStandardError(),
                          .closed = closed};
    return RunCommand(parsed.line, env);
}
