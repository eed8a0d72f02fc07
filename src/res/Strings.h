#pragma once
// Every text the program shows in a message box or status line.

namespace quillmar::str {

// String resource 101: the text panel's system-menu item.
inline constexpr const char* kAboutMenu = "&About Tessarine...";

// Module binding
inline constexpr const char* kNoEncryptDll = "Could not get encryption dll!";
inline constexpr const char* kNoDecryptDll = "Could not get decryption dll!";
inline constexpr const char* kNoFunction = "FUNCTION load failed!";

// Text panel
inline constexpr const char* kReady = "Ready to work.";
inline constexpr const char* kEncrypted = "Encryption successful finished!";
inline constexpr const char* kDecrypted = "Decryption successful finished!";
inline constexpr const char* kFillTextAndPassword = "Plase fill text and password!";
inline constexpr const char* kNoticeCaption = "NOTICE";
inline constexpr const char* kNotice =
    "Text encryption must make sure that the encrypted code is visable, so it will cost more "
    "space and easy to be decrypted. It is recommoned to use file encryption. And there's "
    "another problem, some encryption Arithmetics can not encrypt text to visable codes.";
inline constexpr const char* kKeyHelper =
    "Your password should be some words whit some figures or interpunctions. And your password "
    "should be at least 8 words to make sure it can not be doped out by others.";
inline constexpr const char* kArithmetics =
    "This version of QX could offer TRV arithmetic for text en/decryption only! Please register "
    "your mail for newer version's information.";
inline constexpr const char* kTrv = "TRV";
inline constexpr const char* kTextTooLong = "The text is too long to be encrypted in one piece.";

} // namespace quillmar::str
