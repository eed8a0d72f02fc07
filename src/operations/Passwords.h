#pragma once
// Whether a password can be used: one rule for the window and the command
// line, so that what one encrypts the other decrypts, and a key file one
// loads the other loads too.

#include <cstddef>
#include <string_view>

namespace quillmar {

// Bytes; the window's field may hold more, but no run takes them.
inline constexpr std::size_t kPasswordMax = 32767;

enum class PasswordProblem {
    None,
    Empty,
    ZeroByte, // it would end the password for the cipher modules
    NotText,  // not UTF-8: the window's field would show another password
    TooLong,
};

PasswordProblem CheckPassword(std::string_view password);

} // namespace quillmar
