#pragma once
// Runs one quillmar command: the two panels' work without a window.

#include "CommandLine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1; // nothing was changed
inline constexpr int kExitUsage = 2;  // wrong usage or no password

// How progress is shown on standard error: not at all, as a line a second
// for a terminal that cannot move its cursor, or as one line redrawn.
enum class ProgressStyle { None, Plain, Redrawn };

struct Environment {
    std::vector<std::filesystem::path> moduleDirs;
    // Readable once a signal asked the program to stop (see WatchStopSignals).
    int stopFd = -1;
    ProgressStyle progress = ProgressStyle::None;
    // Bit n: standard descriptor n was closed at start (and is /dev/null now).
    unsigned closed = 0;
};

// The progress line after seconds with done of total bytes (0: not known).
std::string ProgressText(ProgressStyle style, std::uint64_t done, std::uint64_t total,
                         double seconds);

// Blocks SIGINT, SIGTERM and SIGHUP in this and every later thread and
// returns a descriptor that becomes readable when one arrives, so that a run
// can stop cleanly instead of dying half-way. A write to a closed pipe is
// reported as an error, not by a signal. Call before any thread starts.
int WatchStopSignals();

// Runs every command but Help and Version; returns the exit status.
int RunCommand(const CommandLine& line, const Environment& env);

// One line on standard error: "quillmar: " and message.
void Say(std::string_view message);

} // namespace quillmar::cli
