#pragma once
// Dialog, control and command identifiers.

namespace quillmar {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_TEXT = 102;
inline constexpr int IDD_FILE = 132;
inline constexpr int IDD_GUIDE = 133;
inline constexpr int IDD_MAIL = 136;
inline constexpr int IDD_MAIN = 137;

inline constexpr int IDM_ABOUTBOX = 0x0010; // system-menu command of the text panel

// Main window
inline constexpr int IDC_MAIL = 1002;
inline constexpr int IDC_TEXT = 1003;
inline constexpr int IDC_ABOUT = 1005;
inline constexpr int IDC_FILE = 1006;
inline constexpr int IDC_HELP = 1044;
inline constexpr int IDC_CONTACT = 1045; // the box of contact details, below the panels

// Shared by both panels
inline constexpr int IDC_PASSWORD = 1007;
inline constexpr int IDC_LOADKEY = 1011;
inline constexpr int IDC_GETCLIP = 1012;
inline constexpr int IDC_SAVEKEY = 1015;
inline constexpr int IDC_TOCLIP = 1016;

// Text panel
inline constexpr int IDC_KEYHELPER = 1008;
inline constexpr int IDC_TEXTFIELD = 1009;
inline constexpr int IDC_RANDOMKEY = 1010;
inline constexpr int IDC_MASKKEY = 1013;
inline constexpr int IDC_UNMASKKEY = 1014;
inline constexpr int IDC_GETCLIPTEXT = 1017;
inline constexpr int IDC_CLIPTEXT = 1018;
inline constexpr int IDC_NOTICE = 1019;
inline constexpr int IDC_CLEARTEXT = 1020;
inline constexpr int IDC_ENCRYPT = 1023;
inline constexpr int IDC_DECRYPT = 1024;
inline constexpr int IDC_ARITHLIST = 1025;
inline constexpr int IDC_ARITHMETICS = 1026;
inline constexpr int IDC_STATUS = 1028;

// File panel
inline constexpr int IDC_SOURCE = 1030;
inline constexpr int IDC_BROWSESRC = 1031;
inline constexpr int IDC_TARGET = 1032;
inline constexpr int IDC_BROWSETGT = 1033;
inline constexpr int IDC_MASK = 1035;
inline constexpr int IDC_FENCRYPT = 1036;
inline constexpr int IDC_FDECRYPT = 1037;

// Mail dialog
inline constexpr int IDC_MAILADDR = 1038;
inline constexpr int IDC_SEND = 1039;
inline constexpr int IDC_MAILCANCEL = 1040;
inline constexpr int IDC_SUBJECT = 1041;

} // namespace quillmar
