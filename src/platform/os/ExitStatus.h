#pragma once
// How the programs end, as scripts read it: the same numbers for Tessarine's
// command line and quillmar.

namespace quillmar {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1; // nothing was changed
inline constexpr int kExitUsage = 2;  // wrong usage or no password
// The target was replaced, but may not survive a power cut: its folder
// could not be flushed.
inline constexpr int kExitUnflushed = 3;

} // namespace quillmar
