#pragma once
// Small shared constants of the window layer.

namespace quillmar {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

enum class MsgIcon { None, Exclamation, Stop };

} // namespace quillmar
