#include "cli/Progress.h"

#include "operations/ProgressText.h"

namespace quillmar::cli {

std::string ProgressText(ProgressStyle style, std::uint64_t done, std::uint64_t total,
                         double seconds) {
    const std::string text = DescribeProgress(done, total, seconds);
    // A redrawn line goes back to its start and erases what a longer one left.
    if (style == ProgressStyle::Redrawn)
        return "\rquillmar: " + text + "\033[K";
    return "quillmar: " + text + "\n";
}

} // namespace quillmar::cli
