#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillmar {

inline constexpr std::string_view kKeyCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ,.'[]~!@#$%^&*()_+|";
inline constexpr std::size_t kRandomKeyLength = 8;

// Fills the span with random bytes; false when it has none to give.
using RandomFill = std::function<bool(std::span<std::uint8_t>)>;

// Eight characters drawn uniformly from the key character set; nothing when
// the random source fails.
std::optional<std::string> MakeRandomKey(const RandomFill& fill);
std::optional<std::string> MakeRandomKey();

} // namespace quillmar
