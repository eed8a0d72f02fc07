#pragma once
// Small shared constants of the window layer.

namespace quillmar {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

enum class MsgIcon { None, Exclamation, Stop };

// A rectangle in pixels; right and bottom lie just past it.
struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

} // namespace quillmar
