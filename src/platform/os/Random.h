#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quillmar {

// Fills the buffer from the operating system's cryptographic random source;
// false when the system has none to give.
[[nodiscard]] bool FillSystemRandom(std::span<std::uint8_t> out);

} // namespace quillmar
