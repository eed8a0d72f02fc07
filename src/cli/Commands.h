#pragma once
// Runs one quillmar command: the two panels' work without a window.

#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "platform/os/ExitStatus.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace quillmar::cli {

struct Environment {
    std::vector<std::filesystem::path> moduleDirs;
    // Readable once a signal asked the program to stop (see WatchStopSignals).
    int stopFd = -1;
    ProgressStyle progress = ProgressStyle::None;
};

// Runs every command but Help and Version; returns the exit status.
int RunCommand(const CommandLine& line, const Environment& env);

// One line on standard error: "quillmar: " and message.
void Say(std::string_view message);

} // namespace quillmar::cli
