#pragma once
// Dialog templates as plain data: what a resource script would hold.

#include <cstdint>
#include <span>

namespace quillmar {

enum class ControlKind : std::uint8_t {
    PushButton,
    DefPushButton,
    Edit,
    Static,
    GroupBox,
    ComboBox,
    CheckBox,
    Icon,
};

// Control styles that change how a control is built or behaves.
enum ControlStyle : std::uint32_t {
    CS_NONE = 0,
    CS_TABSTOP = 1u << 0,
    CS_PASSWORD = 1u << 1,  // edit starts masked
    CS_MULTILINE = 1u << 2, // edit holds several lines
    CS_DISABLED = 1u << 3,
    CS_CENTER = 1u << 4,       // centred text
    CS_NOBORDER = 1u << 5,     // edit without frame
    CS_NOWRAP = 1u << 6,       // static text on one line
    CS_VCENTER = 1u << 7,      // static text centred vertically
    CS_NOPREFIX = 1u << 8,     // static text shows '&' literally
    CS_SORT = 1u << 9,         // combo box keeps its items sorted
    CS_TRANSPARENT = 1u << 11, // draws its text over the dialog's background
};

inline constexpr int kNoId = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* caption;
    int x, y, w, h; // dialog units
    std::uint32_t style;
    // What a screen reader announces for a control whose caption says nothing (edits, lists).
    const char* accessibleName = nullptr;
};

enum DialogStyle : std::uint32_t {
    DS_NONE = 0,
    DS_VISIBLE = 1u << 1, // shown when created
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontName;
    int pointSize;
    int w, h; // dialog units
    std::uint32_t style;
    std::span<const ControlTemplate> controls;
};

} // namespace quillmar
