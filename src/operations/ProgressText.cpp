#include "operations/ProgressText.h"

#include "platform/locale/Translate.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

namespace {

std::string MiB(std::uint64_t bytes) {
    return std::to_string(bytes >> 20);
}

} // namespace

std::string DescribeProgress(std::uint64_t done, std::uint64_t total, double seconds) {
    std::string text = MiB(done) + " MiB";
    if (total > 0) {
        text =
            std::to_string(std::uint64_t(100.0 * double(std::min(done, total)) / double(total))) +
            " %  " + MiB(done) + "/" + MiB(total) + " MiB";
    }
    if (seconds > 0 && done > 0) {
        const double rate = double(done) / seconds;
        text += "  " + MiB(std::uint64_t(rate)) + " MiB/s";
        if (total > done) {
            const auto left = std::uint64_t(std::ceil(double(total - done) / rate));
            text +=
                "  " + (left < 100 ? Fill(Tr(N_("%1 s left")), {std::to_string(left)})
                        : left < 6000
                            ? Fill(Tr(N_("%1 min left")), {std::to_string((left + 59) / 60)})
                            : Fill(Tr(N_("%1 h left")), {std::to_string((left + 3599) / 3600)}));
        }
    }
    return text;
}

} // namespace quillmar
