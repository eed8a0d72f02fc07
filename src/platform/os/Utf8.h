#pragma once
// Well-formed UTF-8 as Qt's text fields take it: no overlong forms, no
// surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string_view>

namespace quillmar {

// The length of the well-formed character that starts text, or 0 when its
// first bytes are not one.
std::size_t Utf8CharLength(std::string_view text);

bool IsUtf8(std::string_view text);

} // namespace quillmar
