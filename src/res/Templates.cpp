#include "res/Templates.h"

#include "platform/locale/Translate.h"
#include "platform/ui/Types.h"
#include "res/Resource.h"

namespace quillmar {

// Captions are English; the dialog translates them as it builds its controls.
namespace {

using K = ControlKind;
constexpr std::uint32_t TAB = CS_TABSTOP;

const ControlTemplate kMainControls[] = {
    {IDC_MAIL, K::PushButton, N_("Mail"), 0, 108, 24, 54, TAB},
    {IDC_TEXT, K::PushButton, N_("Text"), 0, 0, 24, 54, TAB},
    {IDC_ABOUT, K::PushButton, N_("About"), 0, 216, 24, 54, TAB},
    {IDC_FILE, K::PushButton, N_("File"), 0, 54, 24, 54, TAB},
    {IDC_CONTACT, K::GroupBox, N_("Contact us"), 90, 234, 204, 36, CS_NONE},
    {kNoId, K::Static, "support@quillmar.example.org\nhttps://quillmar.example.org", 96, 246, 150,
     18, CS_CENTER | CS_NOPREFIX},
    {IDC_HELP, K::PushButton, N_("Help"), 30, 252, 50, 14, TAB},
};

const ControlTemplate kTextControls[] = {
    {IDC_PASSWORD, K::Edit, "", 24, 24, 246, 14, TAB | CS_PASSWORD, N_("Key")},
    {IDC_KEYHELPER, K::PushButton, N_("Key Helper"), 12, 6, 60, 14, TAB},
    {IDC_RANDOMKEY, K::PushButton, N_("Random Key"), 78, 6, 60, 14, TAB},
    {IDC_LOADKEY, K::PushButton, N_("Load Key"), 144, 6, 60, 14, TAB},
    {IDC_GETCLIP, K::PushButton, N_("Get Clipboard"), 210, 6, 60, 14, TAB},
    {IDC_MASKKEY, K::PushButton, N_("Mask Key"), 12, 42, 60, 14, TAB},
    {IDC_UNMASKKEY, K::PushButton, N_("Unmask Key"), 78, 42, 60, 14, TAB},
    {IDC_SAVEKEY, K::PushButton, N_("Save Key"), 144, 42, 60, 14, TAB},
    {IDC_TOCLIP, K::PushButton, N_("To Clipboard"), 210, 42, 60, 14, TAB},
    {kNoId, K::Static, N_("Key"), 6, 24, 12, 12, CS_NOWRAP | CS_VCENTER | CS_TRANSPARENT},
    // Several lines: a pasted text must never be cut at its first line break.
    {IDC_TEXTFIELD, K::Edit, "", 24, 84, 234, 84, TAB | CS_MULTILINE, N_("Text")},
    {IDC_GETCLIPTEXT, K::PushButton, N_("Get Clipboard Text"), 12, 66, 126, 14, TAB},
    {IDC_CLIPTEXT, K::PushButton, N_("Clip Text to Clipboard"), 144, 66, 126, 14, TAB},
    {IDC_NOTICE, K::PushButton, N_("!!! NOTICE !!!"), 12, 174, 126, 14, TAB},
    {IDC_CLEARTEXT, K::PushButton, N_("Clear Text"), 144, 174, 126, 14, TAB},
    {kNoId, K::GroupBox, "", 12, 186, 126, 48, CS_TRANSPARENT},
    {kNoId, K::GroupBox, "", 144, 186, 126, 48, CS_TRANSPARENT},
    {IDC_ENCRYPT, K::PushButton, N_("ENCRYPT"), 18, 215, 114, 14, TAB},
    {IDC_ARITHLIST, K::ComboBox, "", 18, 199, 60, 42, TAB | CS_SORT, N_("Arithmetic")},
    {IDC_ARITHMETICS, K::PushButton, N_("Arithmetics"), 84, 198, 48, 14, TAB},
    {IDC_DECRYPT, K::PushButton, N_("DECRYPT"), 150, 216, 114, 14, TAB},
    {IDC_STATUS, K::Edit, "", 150, 198, 114, 12, CS_DISABLED | CS_CENTER | CS_NOBORDER,
     N_("Status")},
};

const ControlTemplate kFileControls[] = {
    {kNoId, K::GroupBox, N_("Step 1: Choose file"), 6, 6, 228, 48, CS_TRANSPARENT},
    {kNoId, K::GroupBox, N_("Step 2: Enter password"), 6, 60, 228, 54, CS_TRANSPARENT},
    {kNoId, K::GroupBox, N_("Step 3: Arithmetic selection"), 6, 120, 228, 33, CS_TRANSPARENT},
    {kNoId, K::GroupBox, N_("Step 4: Action"), 6, 156, 228, 48, CS_TRANSPARENT},
    {kNoId, K::Static, N_("Source:"), 12, 18, 24, 12, CS_TRANSPARENT},
    {kNoId, K::Static, N_("Target:"), 12, 36, 24, 12, CS_TRANSPARENT},
    {IDC_SOURCE, K::Edit, "", 42, 18, 162, 12, TAB, N_("Source")},
    {IDC_BROWSESRC, K::PushButton, "...", 210, 18, 18, 13, TAB, N_("Browse source")},
    {IDC_TARGET, K::Edit, "", 42, 36, 162, 12, TAB, N_("Target")},
    {IDC_BROWSETGT, K::PushButton, "...", 210, 36, 18, 12, TAB, N_("Browse target")},
    {kNoId, K::Static, N_("Password:"), 12, 78, 30, 8, CS_TRANSPARENT},
    {IDC_PASSWORD, K::Edit, "", 42, 78, 186, 12, TAB, N_("Password")},
    {IDC_LOADKEY, K::PushButton, N_("Load Key"), 42, 96, 42, 12, TAB},
    {IDC_GETCLIP, K::PushButton, N_("Get Clipboard"), 138, 96, 42, 12, TAB},
    {IDC_SAVEKEY, K::PushButton, N_("Save Key"), 90, 96, 42, 12, TAB},
    {IDC_TOCLIP, K::PushButton, N_("To Clipboard"), 186, 96, 42, 12, TAB},
    // 30 wide, not 24: our check mark is wider, and the caption must not be cut.
    {IDC_MASK, K::CheckBox, N_("Mask"), 12, 96, 30, 12, TAB | CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("This version of Quillmar offers the DES algorithm only for files. Visit "
        "https://quillmar.example.org for more information."),
     12, 132, 216, 18, CS_CENTER | CS_NOPREFIX | CS_TRANSPARENT},
    {IDC_FENCRYPT, K::PushButton, N_("ENCRYPT"), 12, 168, 108, 30, TAB},
    {IDC_FDECRYPT, K::PushButton, N_("DECRYPT"), 126, 168, 102, 30, TAB},
};

const ControlTemplate kGuideControls[] = {
    {kNoId, K::GroupBox, N_("Text Encryption"), 6, 6, 282, 102, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 1: Fill the password box.You can enter you own password or use random key which "
        "created by program. Keep it in a safe place. This encrypt arithemic is impossible to be "
        "decrypted whitout a correct password."),
     12, 18, 270, 24, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 2: Put the text you want to enctypt into text box. You can paste them from the "
        "clipboard."),
     12, 42, 270, 18, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 3: Click the ENCRYPT button. Just one click, your text is under strong "
        "protection:)."),
     12, 60, 270, 18, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Notic : Your password can be saved in file. Though you can load your password from files. "
        "After encryption, you can copy the encrypted text to cliopboard so you can keep it in "
        "other place."),
     12, 78, 270, 24, CS_TRANSPARENT},
    {kNoId, K::GroupBox, N_("File Encryption"), 6, 114, 282, 84, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 1: Click File button in the left of the dialog window. Select source file and "
        "appoint the target file to save the result."),
     12, 127, 270, 17, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 2: Fill the password box.(Here you can also use paste/copy functions)."), 12, 144,
     270, 8, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Step 3: Click the ENCRYPT button. When you get the success notify, your file is encrypted "
        "into the target file."),
     12, 156, 270, 18, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Files are encrypted with DES only. Questions: support@quillmar.example.org; more at "
        "https://quillmar.example.org."),
     12, 180, 270, 17, CS_NOPREFIX | CS_TRANSPARENT},
    {kNoId, K::GroupBox, N_("Mail Encryption"), 6, 204, 282, 42, CS_TRANSPARENT},
    {kNoId, K::Static,
     N_("Use text encryption to encrypt your mail. Then click Mail button. Fill Add&Sub box. Then "
        "click SEND. Your mail is send out.(perhapes this is the easiest way to send a safe mail "
        "in the world:)"),
     12, 217, 270, 24, CS_TRANSPARENT},
    {kNoId, K::Static, N_("Thanks for using this software."), 6, 342, 282, 12,
     CS_CENTER | CS_TRANSPARENT},
};

const ControlTemplate kAboutControls[] = {
    {kNoId, K::Icon, "", 11, 17, 21, 20, CS_TRANSPARENT, N_("Quillmar icon")},
    {kNoId, K::Static, N_("Quillmar Version 1.5"), 40, 10, 119, 8,
     CS_NOPREFIX | CS_NOWRAP | CS_TRANSPARENT},
    {kNoId, K::Static, N_("Copyright \u00A9 2026 Quillmar authors"), 39, 19, 119, 8,
     CS_NOPREFIX | CS_NOWRAP | CS_TRANSPARENT},
    {IDOK, K::DefPushButton, N_("OK"), 178, 7, 50, 16, TAB},
    {kNoId, K::Static, "https://quillmar.example.org\nsupport@quillmar.example.org", 39, 33, 189,
     23, CS_NOPREFIX | CS_TRANSPARENT},
};

const ControlTemplate kMailControls[] = {
    {kNoId, K::Static, N_("Mail Address"), 12, 12, 42, 8, CS_NOWRAP},
    {kNoId, K::Static, N_("Subject"), 12, 30, 42, 8, CS_NOWRAP},
    {IDC_SEND, K::PushButton, N_("Send"), 36, 42, 50, 14, TAB},
    {IDC_MAILCANCEL, K::PushButton, N_("Cancel"), 108, 42, 50, 14, TAB},
    {IDC_MAILADDR, K::Edit, "", 54, 6, 126, 14, TAB, N_("Mail Address")},
    {IDC_SUBJECT, K::Edit, "", 54, 24, 126, 14, TAB, N_("Subject")},
};

} // namespace

const DialogTemplate kAboutTemplate{IDD_ABOUTBOX, N_("About Quillmar"), "MS Shell Dlg", 8, 235, 63,
                                    DS_NONE,      kAboutControls};
const DialogTemplate kTextTemplate{IDD_TEXT, "QX", "MS Shell Dlg", 8,
                                   274,      234,  DS_VISIBLE,     kTextControls};
const DialogTemplate kFileTemplate{IDD_FILE, " ", "Comic Sans MS", 8,
                                   239,      208, DS_NONE,         kFileControls};
const DialogTemplate kGuideTemplate{IDD_GUIDE, N_("Tessarine Guide"), "Comic Sans MS", 8, 295, 358,
                                    DS_NONE,   kGuideControls};
const DialogTemplate kMailTemplate{IDD_MAIL, N_("Mailing"), "Comic Sans MS", 8, 187,
                                   64,       DS_NONE,       kMailControls};
const DialogTemplate kMainTemplate{IDD_MAIN, "Quillmar", "MS Shell Dlg", 8,
                                   298,      271,        DS_NONE,        kMainControls};

} // namespace quillmar
