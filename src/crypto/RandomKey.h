#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quillmar {

inline constexpr std::string_view kKeyCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ,.'[]~!@#$%^&*()_+|";
inline constexpr std::size_t kRandomKeyLength = 8;

using RandomFill = std::function<void(std::span<std::uint8_t>)>;

// Eight characters drawn uniformly from the key character set.
std::string MakeRandomKey(const RandomFill& fill);
std::string MakeRandomKey();

} // namespace quillmar
