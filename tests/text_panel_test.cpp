// The text panel through its real widgets, with real and test cipher modules.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "keys/RandomKey.h"
#include "mailto/MailUrl.h"
#include "operations/Passwords.h"
#include "platform/os/Module.h"
#include "res/Resource.h"
#include "res/Strings.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using namespace quillmar;
using namespace quillmar::test;

namespace {

class TextPanel : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        QApplication::clipboard()->clear();
    }
    void TearDown() override { UseModuleDir(RealModuleDir()); }

    CTextDlg& panel() { return main.TextPanel(); }
    std::string Text() { return panel().GetDlgItemText(IDC_TEXTFIELD); }
    std::string Password() { return panel().GetDlgItemText(IDC_PASSWORD); }
    std::string Status() { return panel().GetDlgItemText(IDC_STATUS); }
    void Fill(const std::string& text, const std::string& password) {
        panel().SetDlgItemText(IDC_TEXTFIELD, text);
        panel().SetDlgItemText(IDC_PASSWORD, password);
    }
    // The i-th message box the panel showed.
    void ExpectMessage(std::size_t i, const char* text, const char* caption,
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_GT(recorder.messages.size(), i);
        const MessageRecord& m = recorder.messages[i];
        EXPECT_EQ(std::tie(m.text, m.caption, m.icon, m.owner),
                  std::tuple(std::string(text), std::string(caption), icon, &panel()));
    }

    MessageRecorder recorder;
    CMainDlg main;
};

// Characters that a careless read of the field turns into others, and texts where every
// invisible character counts: each must reach the real module, the clipboard and a mail as
// typed, and come back from the module whole. The long password ends in what a cut or a
// masked read would lose; it is read once masked and once not.
TEST_F(TextPanel, TextsTravelExactlyAsTypedThroughRealModuleClipboardAndMail) {
    auto* list = qobject_cast<QComboBox*>(panel().GetDlgItem(IDC_ARITHLIST));
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText(), "TRV");
    const std::string texts[] = {
        "Grüße, 世界! 🙂\nsecond line & more #%+=?\ttab",
        "prix\u00A0: 10\u202F\u20AC, 1\u2007234",
        "line\u2028separator",
        "\uFEFFmark and zero\u200Bwidth",
        "family \U0001F468\u200D\U0001F469\u200D\U0001F467 flag \U0001F3F3\uFE0F\u200D\U0001F308",
        "\u200Fright-to-left\u202E overridden\u202C",
        "e\u0301 n\u0303 \u0915\u094D\u0937",
        "tab\tand trailing spaces   \n  second line  \n",
    };
    const std::string password = std::string(4990, 'k') + "пароль";
    auto* field = qobject_cast<QPlainTextEdit*>(panel().GetDlgItem(IDC_TEXTFIELD));
    RecordingLauncher launcher;
    CModule trv("TRV.DLL", "ENCRYPTFUNC", {RealModuleDir()});
    ASSERT_EQ(trv.GetStatus(), CModule::Status::Bound);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        Fill(text, password);
        Click(panel(), IDC_CLIPTEXT);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), text);
        // Unlike a password, a text is not hidden from clipboard managers.
        EXPECT_FALSE(QApplication::clipboard()->mimeData()->hasFormat("x-kde-passwordManagerHint"));
        OnNextModal([](CDialog& mail) {
            mail.SetDlgItemText(IDC_MAILADDR, "someone");
            Click(mail, IDC_SEND);
        });
        Click(main, IDC_MAIL);
        ASSERT_FALSE(launcher.urls.empty());
        EXPECT_EQ(DecodeMailto(launcher.urls.back()).body, text);

        std::string expected = text;
        trv.Entry()(expected.data(), password.c_str(), std::int32_t(expected.size()));
        // Keystrokes before ENCRYPT, and the plain text, are out of Undo's reach after it;
        // DECRYPT is one Ctrl+Z from the encrypted text, and nothing before that.
        QTest::keyClick(field, Qt::Key_X);
        QTest::keyClick(field, Qt::Key_Backspace);
        Click(panel(), IDC_ENCRYPT);
        EXPECT_EQ(Text(), expected);
        EXPECT_EQ(Status(), "Encryption successful finished!");
        EXPECT_EQ(field->document()->availableUndoSteps() + field->document()->availableRedoSteps(),
                  0);
        Click(panel(), IDC_UNMASKKEY);
        EXPECT_FALSE(panel().IsMasked(IDC_PASSWORD));
        Click(panel(), IDC_DECRYPT);
        EXPECT_EQ(Text(), text);
        EXPECT_EQ(Status(), "Decryption successful finished!");
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_TRUE(Text() == expected && !field->document()->isUndoAvailable());
        Click(panel(), IDC_MASKKEY);
        EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
        EXPECT_EQ(Password(), password);
    }
    // The one change: line breaks are the field's own.
    Fill("a\r\nb\rc\u2029d", "pw");
    EXPECT_EQ(Text(), "a\nb\nc\nd");
    EXPECT_TRUE(recorder.messages.empty());
}

// An empty text or password is refused before any module is loaded (the recording module
// sees no call); a missing, broken or incomplete module is named, and nothing changes. Then
// the module gets the field's bytes, their exact length and the password as they stand.
TEST_F(TextPanel, ModuleGetsOnlyWholeTextsAndPasswordsAndFailuresAreToldApart) {
    const char *fill = "Plase fill text and password!", *noEnc = "Could not get encryption dll!",
               *noDec = "Could not get decryption dll!", *noFunc = "FUNCTION load failed!";
    // One byte over quillmar's limit too: what one front end takes, the other takes.
    const std::string tooLong(kPasswordMax + 1, 'p');
    const char* longMessage = "The password is longer than 32767 bytes.";
    ClearRecordedCalls("TRV.DLL");
    // Module folder, text, password, caption, decrypt's message, encrypt's (nullptr: it works).
    for (auto [dir, text, password, caption, decrypt, encrypt] :
         {std::tuple{"recording", "", "pw", "Tessarine", fill, fill},
          {"recording", "text", "", "Tessarine", fill, fill},
          {"recording", "", "", "Tessarine", fill, fill},
          {"recording", "text", tooLong.c_str(), "Tessarine", longMessage, longMessage},
          {"none", "some text", "pw", "", noDec, noEnc},
          {"broken", "some text", "pw", "", noDec, noEnc},
          {"empty", "some text", "pw", "", noFunc, noFunc},
          {"encrypt_only", "some text", "pw", "", noFunc, nullptr}}) {
        SCOPED_TRACE(std::string(dir) + " [" + text + "] [" + password + "]");
        UseModuleDir(FakeModuleDir(dir));
        recorder.messages.clear();
        Fill(text, password);
        Click(panel(), IDC_DECRYPT);
        ExpectMessage(0, decrypt, caption);
        EXPECT_EQ(Text(), text);
        EXPECT_EQ(Status(), "Ready to work.");
        Click(panel(), IDC_ENCRYPT);
        if (encrypt)
            ExpectMessage(1, encrypt, caption);
        EXPECT_EQ(recorder.messages.size(), encrypt ? 2u : 1u);
        EXPECT_EQ(Status(), encrypt ? "Ready to work." : "Encryption successful finished!");
    }
    EXPECT_TRUE(RecordedCalls("TRV.DLL").empty());

    UseModuleDir(FakeModuleDir("recording"));
    const std::string text = "héllo\nwörld";
    Fill(text, "pw");
    Click(panel(), IDC_ENCRYPT);
    Click(panel(), IDC_DECRYPT);
    const auto& calls = RecordedCalls("TRV.DLL");
    ASSERT_EQ(calls.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(std::tie(calls[i].entry, calls[i].data, calls[i].key, calls[i].length),
                  std::tuple(std::string(i ? "DECRYPTFUNC" : "ENCRYPTFUNC"), text,
                             std::string("pw"), int(text.size())));

    // A result with a zero byte is shown cut there.
    Fill("abcdefgh", "nul:key");
    Click(panel(), IDC_ENCRYPT);
    EXPECT_EQ(Text(), "abcd");
    EXPECT_EQ(Status(), "Encryption successful finished!");
}

TEST(RandomKey, EveryCharacterEquallyLikelyAndBiasedBytesRedrawn) {
    // Bytes 213..255 would favour the first characters: they must be skipped.
    int call = 0;
    auto fill = [&call](std::span<std::uint8_t> out) {
        std::ranges::fill(out, std::uint8_t(call % 2 ? 255 : 70));
        return ++call < 3; // the third draw finds the source gone
    };
    EXPECT_EQ(MakeRandomKey(fill), "||||||||");
    EXPECT_EQ(MakeRandomKey(fill), std::nullopt); // the 255s were drawn again, and failed
    std::string all;
    std::uint8_t next = 0;
    auto sweep = [&next](std::span<std::uint8_t> out) {
        std::ranges::generate(out, [&next] { return next++; });
        return true;
    };
    for (int i = 0; i < 213; ++i) // eight sweeps over every byte value
        all += MakeRandomKey(sweep).value();
    ASSERT_EQ(all.size(), 213u * 8);
    for (char c : kKeyCharacters) // all 71, each as often
        EXPECT_EQ(std::ranges::count(all, c), 24) << c;
}

// Random keys, the clipboard buttons, and the masked field.
TEST_F(TextPanel, RandomKeysAreFreshAndClipboardButtonsMoveWholeFieldsEvenWhenMasked) {
    std::set<std::string> keys;
    for (int i = 0; i < 20; ++i) {
        Click(panel(), IDC_RANDOMKEY);
        ASSERT_EQ(Password().size(), 8u);
        EXPECT_EQ(Password().find_first_not_of(kKeyCharacters), std::string::npos) << Password();
        keys.insert(Password());
    }
    EXPECT_EQ(keys.size(), 20u); // presses within one second differ
    EXPECT_TRUE(recorder.messages.empty());
    QClipboard* cb = QApplication::clipboard();
    Fill("line one\nline two", "masked pw");
    ASSERT_TRUE(panel().IsMasked(IDC_PASSWORD)); // from the start, and after the random keys
    auto* field = qobject_cast<QLineEdit*>(panel().GetDlgItem(IDC_PASSWORD));
    EXPECT_EQ(field->displayText(), "*********");
    field->selectAll();
    field->copy(); // the field itself keeps a masked password to itself
    EXPECT_EQ(cb->text(), "");
    // A password is marked for clipboard managers to keep out of their history; a text is not.
    Click(panel(), IDC_TOCLIP);
    EXPECT_EQ(cb->text(), "masked pw");
    EXPECT_EQ(cb->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    EXPECT_FALSE(field->hasSelectedText());
    Click(panel(), IDC_CLIPTEXT);
    EXPECT_FALSE(cb->mimeData()->hasFormat("x-kde-passwordManagerHint"));

    cb->clear(); // an empty clipboard empties the fields
    Click(panel(), IDC_GETCLIP);
    Click(panel(), IDC_GETCLIPTEXT);
    EXPECT_EQ(Password() + Text(), "");
    cb->setText("from clipboard");
    Click(panel(), IDC_GETCLIP);
    EXPECT_EQ(Password(), "from clipboard");
    cb->setText("pasted\nmany\nlines");
    Click(panel(), IDC_GETCLIPTEXT);
    EXPECT_EQ(Text(), "pasted\nmany\nlines");
    Click(panel(), IDC_CLEARTEXT); // empties only the text
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(Password(), "from clipboard");
    EXPECT_EQ(Status(), "Ready to work.");
}

} // namespace
