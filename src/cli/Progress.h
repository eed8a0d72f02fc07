#pragma once
// The progress line a long file command shows on standard error.

#include <atomic>
#include <cstdint>
#include <string>

namespace quillmar::cli {

// How progress is shown on standard error: not at all, as a line a second
// for a terminal that cannot move its cursor, or as one line redrawn.
enum class ProgressStyle { None, Plain, Redrawn };

// What a run reports while it goes.
struct ProgressSource {
    std::uint64_t total; // 0 when not known
    const std::atomic<std::uint64_t>* done;
};

// The progress line after seconds with done of total bytes (0: not known).
std::string ProgressText(ProgressStyle style, std::uint64_t done, std::uint64_t total,
                         double seconds);

} // namespace quillmar::cli
