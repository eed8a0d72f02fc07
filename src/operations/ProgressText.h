#pragma once
// How far a long file run has got, in the same words in the window and on the command line.

#include <cstdint>
#include <string>

namespace quillmar {

// "42 %  108/256 MiB  131 MiB/s  1 s left" after seconds with done of total bytes; with total
// 0 (a stream of unknown length) only the MiB done and the rate.
std::string DescribeProgress(std::uint64_t done, std::uint64_t total, double seconds);

} // namespace quillmar
