#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quillmar {

// Fills the buffer from the operating system's cryptographic random source.
void FillSystemRandom(std::span<std::uint8_t> out);

} // namespace quillmar
