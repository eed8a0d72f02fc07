#pragma once
// Every text the program shows in a message box or status line, in English: each is
// translated where it is shown (message box, status line, the command line's messages).

#include "platform/locale/Translate.h"

namespace quillmar::str {

// String resource 101: the text panel's system-menu item.
inline constexpr const char* kAboutMenu = N_("&About Tessarine...");

// Module binding
inline constexpr const char* kNoEncryptDll = N_("Could not get encryption dll!");
inline constexpr const char* kNoDecryptDll = N_("Could not get decryption dll!");
inline constexpr const char* kNoFunction = N_("FUNCTION load failed!");

// Text panel
inline constexpr const char* kReady = N_("Ready to work.");
inline constexpr const char* kEncrypted = N_("Encryption successful finished!");
inline constexpr const char* kDecrypted = N_("Decryption successful finished!");
inline constexpr const char* kFillTextAndPassword = N_("Plase fill text and password!");
inline constexpr const char* kNoticeCaption = N_("NOTICE");
inline constexpr const char* kNotice =
    N_("Text encryption must make sure that the encrypted code is visable, so it will cost more "
       "space and easy to be decrypted. It is recommoned to use file encryption. And there's "
       "another problem, some encryption Arithmetics can not encrypt text to visable codes.");
inline constexpr const char* kKeyHelper =
    N_("Your password should be some words whit some figures or interpunctions. And your password "
       "should be at least 8 words to make sure it can not be doped out by others.");
inline constexpr const char* kArithmetics =
    N_("This version of QX could offer TRV arithmetic for text en/decryption only! Please register "
       "your mail for newer version's information.");
inline constexpr const char* kTrv = "TRV";
inline constexpr const char* kTextTooLong =
    N_("The text is too long to be encrypted in one piece.");
inline constexpr const char* kNoRandomKey =
    N_("No random numbers could be had from the system; no key was made.");

// Key files and their chooser
inline constexpr const char* kChooseFileTitle = N_("Please select file:");
// A file name whose bytes are not text: %1 is the name, escaped.
inline constexpr const char* kNameNotText =
    N_("The name %1 cannot be shown as text, so it was not used: a look-alike name would stand "
       "for another file. Rename it, or use the quillmar command.");
inline constexpr const char* kKeySaved = N_("Password successful saved!");
inline constexpr const char* kKeyLoaded = N_("Password succesful loaded!");
inline constexpr const char* kKeyFileEmpty = N_("Can not read from the file!");
inline constexpr const char* kNotKeyFile = N_("This is not a QX password file!");
inline constexpr const char* kKeyTooLong =
    N_("The password is longer than 255 bytes and cannot be stored in a key file.");
inline constexpr const char* kKeyNotLoadable =
    N_("The password in this key file cannot be shown unchanged in the password field, so it was "
       "not loaded.");

// Mail composer
inline constexpr const char* kNoTextToSend = N_("There have not text to send out.");
inline constexpr const char* kFillAddressAndSubject = N_("Please fill add&sub!");
inline constexpr const char* kMailNotStarted =
    N_("The mail program could not be started. You can still send the text: copy it with \"Clip "
       "Text to Clipboard\" and paste it into a new mail.");

// File panel
inline constexpr const char* kFillPassword = N_("Plase fill password!");
// Both panels and quillmar: the limit of CheckPassword.
inline constexpr const char* kPasswordTooLong = N_("The password is longer than 32767 bytes.");
inline constexpr const char* kNoSourceFile = N_("Could not open source file!!!");
inline constexpr const char* kNoTargetFile = N_("Could not open or create target file!!!");
// "%1" becomes how far the run has got, as quillmar prints it.
inline constexpr const char* kEncryptingFile = N_("Encrypting the file: %1");
inline constexpr const char* kDecryptingFile = N_("Decrypting the file: %1");
inline constexpr const char* kCancelled =
    N_("Cancelled. Nothing was changed: the target file was left as it was.");

} // namespace quillmar::str
