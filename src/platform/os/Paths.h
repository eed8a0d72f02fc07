#pragma once
// Paths as the program opens them.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmar {

// Absolute against the current folder; fails (empty) for an empty path or
// one of 260 characters or more, which cannot be opened. A trailing slash
// stays: it says that the name must be a folder.
std::string MakeAbsolutePath(std::string_view path);
inline constexpr std::size_t kMaxPath = 260;

} // namespace quillmar
