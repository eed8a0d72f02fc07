#include "keys/RandomKey.h"

#include "platform/os/Random.h"

#include <array>

namespace quillmar {

std::optional<std::string> MakeRandomKey(const RandomFill& fill) {
    // Bytes at or above the largest multiple of the set's size are drawn
    // again, so that every character is equally likely.
    const unsigned n = unsigned(kKeyCharacters.size());
    const unsigned limit = 256 - 256 % n;
    std::string key;
    std::array<std::uint8_t, kRandomKeyLength> pool{};
    while (key.size() < kRandomKeyLength) {
        const auto want = std::span(pool).first(kRandomKeyLength - key.size());
        if (!fill(want))
            return std::nullopt;
        for (std::uint8_t b : want) {
            if (b < limit)
                key += kKeyCharacters[b % n];
        }
    }
    return key;
}

std::optional<std::string> MakeRandomKey() {
    return MakeRandomKey(FillSystemRandom);
}

} // namespace quillmar
