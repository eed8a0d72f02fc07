// The text panel through its real widgets, with real and test cipher modules.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "crypto/RandomKey.h"
#include "mailto/MailUrl.h"
#include "platform/os/Module.h"
#include "res/Resource.h"
#include "res/Strings.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>

#include <set>

using namespace quillmar;
using namespace quillmar::test;

namespace {

class TextPanel : public ::testing::Test {
protected:
    void SetUp() override {
        UseModuleDir(RealModuleDir());
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        QApplication::clipboard()->clear();
    }
    void TearDown() override { UseModuleDir(RealModuleDir()); }

    std::string Text() { return panel().GetDlgItemText(IDC_TEXTFIELD); }
    std::string Status() { return panel().GetDlgItemText(IDC_STATUS); }
    void Fill(const std::string& text, const std::string& password) {
        panel().SetDlgItemText(IDC_TEXTFIELD, text);
        panel().SetDlgItemText(IDC_PASSWORD, password);
    }
    CTextDlg& panel() { return main.TextPanel(); }
    // The i-th message box the panel showed.
    void ExpectMessage(std::size_t i, const char* text, const char* caption,
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_GT(recorder.messages.size(), i);
        EXPECT_EQ(recorder.messages[i].text, text);
        EXPECT_EQ(recorder.messages[i].caption, caption);
        EXPECT_EQ(recorder.messages[i].icon, icon);
        EXPECT_EQ(recorder.messages[i].owner, &panel());
    }

    MessageRecorder recorder;
    CMainDlg main;
};

TEST_F(TextPanel, StartsReadyThenEncryptAndDecryptRestoreTextThroughRealModule) {
    EXPECT_EQ(Status(), "Ready to work.");
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    auto* list = qobject_cast<QComboBox*>(panel().GetDlgItem(IDC_ARITHLIST));
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText(), "TRV");
    const std::string original = "Grüße, 世界! 🙂\nsecond line & more #%+\ttab";
    Fill(original, "correct horse");
    Click(panel(), IDC_ENCRYPT);
    const std::string encrypted = Text();
    EXPECT_NE(encrypted, original);
    EXPECT_EQ(encrypted.size(), original.size());
    EXPECT_EQ(Status(), "Encryption successful finished!");
    Click(panel(), IDC_DECRYPT);
    EXPECT_EQ(Text(), original);
    EXPECT_EQ(Status(), "Decryption successful finished!");
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(panel().GetDlgItemText(IDC_PASSWORD), "correct horse");
}

// Characters that a careless read of the field turns into others, and texts where every
// invisible character counts: each must reach the module, the clipboard and a mail as typed.
TEST_F(TextPanel, TextsTravelExactlyAsTypedThroughModuleClipboardAndMail) {
    const std::string texts[] = {
        "prix\u00A0: 10\u202F\u20AC, 1\u2007234",
        "line\u2028separator",
        "\uFEFFmark and zero\u200Bwidth",
        "family \U0001F468\u200D\U0001F469\u200D\U0001F467 flag \U0001F3F3\uFE0F\u200D\U0001F308",
        "\u200Fright-to-left\u202E overridden\u202C",
        "e\u0301 n\u0303 \u0915\u094D\u0937",
        "tab\tand trailing spaces   \n  second line  \n",
    };
    RecordingLauncher launcher;
    CModule trv("TRV.DLL", "ENCRYPTFUNC", {RealModuleDir()});
    ASSERT_EQ(trv.GetStatus(), CModule::Status::Bound);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        Fill(text, "pw");
        Click(panel(), IDC_CLIPTEXT);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), text);
        OnNextModal([](CDialog& mail) {
            mail.SetDlgItemText(IDC_MAILADDR, "someone");
            Click(mail, IDC_SEND);
        });
        Click(main, IDC_MAIL);
        ASSERT_FALSE(launcher.urls.empty());
        EXPECT_EQ(ParseMailtoUrl(launcher.urls.back()).value().body, text);

        std::string expected = text;
        trv.Entry()(expected.data(), "pw", std::int32_t(expected.size()));
        Click(panel(), IDC_ENCRYPT);
        EXPECT_EQ(Text(), expected);
        Click(panel(), IDC_DECRYPT);
        EXPECT_EQ(Text(), text);
    }
    // The one change: line breaks are the field's own.
    Fill("a\r\nb\rc\u2029d", "pw");
    EXPECT_EQ(Text(), "a\nb\nc\nd");
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(TextPanel, EmptyTextOrPasswordIsRefusedBeforeAnyModuleIsLoaded) {
    UseModuleDir(FakeModuleDir("recording"));
    ClearRecordedCalls("TRV.DLL");
    for (auto [text, password] : {std::pair{"", "pw"}, {"text", ""}, {"", ""}}) {
        Fill(text, password);
        Click(panel(), IDC_ENCRYPT);
        Click(panel(), IDC_DECRYPT);
    }
    ASSERT_EQ(recorder.messages.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        ExpectMessage(i, "Plase fill text and password!", "Tessarine");
    EXPECT_TRUE(RecordedCalls("TRV.DLL").empty());
    EXPECT_EQ(Status(), "Ready to work.");
}

TEST_F(TextPanel, ModuleFailuresAreToldApartAndChangeNothing) {
    struct Case {
        const char* dir;
        const char* encryptMessage; // nullptr: ENCRYPT works
        const char* decryptMessage;
    };
    const Case cases[] = {
        {"none", "Could not get encryption dll!", "Could not get decryption dll!"},
        {"broken", "Could not get encryption dll!", "Could not get decryption dll!"},
        {"empty", "FUNCTION load failed!", "FUNCTION load failed!"},
        {"encrypt_only", nullptr, "FUNCTION load failed!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir);
        UseModuleDir(FakeModuleDir(c.dir));
        recorder.messages.clear();
        Fill("some text", "pw");
        Click(panel(), IDC_DECRYPT);
        ExpectMessage(0, c.decryptMessage, "");
        EXPECT_EQ(Text(), "some text");
        EXPECT_EQ(Status(), "Ready to work.");
        Click(panel(), IDC_ENCRYPT);
        if (c.encryptMessage)
            ExpectMessage(1, c.encryptMessage, "");
        EXPECT_EQ(recorder.messages.size(), c.encryptMessage ? 2u : 1u);
        EXPECT_EQ(Status(),
                  c.encryptMessage ? "Ready to work." : "Encryption successful finished!");
    }
}

TEST_F(TextPanel, ModuleReceivesExactBytesWholePasswordAndLengthMaskedOrNot) {
    UseModuleDir(FakeModuleDir("recording"));
    ClearRecordedCalls("TRV.DLL");
    const std::string longPassword = std::string(4999, 'k') + "Z";
    Fill("héllo\nwörld", longPassword);
    Click(panel(), IDC_ENCRYPT);
    Click(panel(), IDC_UNMASKKEY);
    EXPECT_FALSE(panel().IsMasked(IDC_PASSWORD));
    panel().SetDlgItemText(IDC_PASSWORD, "пароль");
    Click(panel(), IDC_DECRYPT);
    Click(panel(), IDC_MASKKEY);
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    Click(panel(), IDC_DECRYPT);
    auto calls = RecordedCalls("TRV.DLL");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].entry, "ENCRYPTFUNC");
    EXPECT_EQ(calls[0].data, "héllo\nwörld");
    EXPECT_EQ(calls[0].length, int(std::string("héllo\nwörld").size()));
    EXPECT_EQ(calls[0].key, longPassword); // all 5,000 bytes
    EXPECT_EQ(calls[1].entry, "DECRYPTFUNC");
    EXPECT_EQ(calls[1].key, "пароль");
    EXPECT_EQ(calls[2].key, "пароль"); // masking changes only how it shows

    // A result with a zero byte is shown cut there.
    Fill("abcdefgh", "nul:key");
    Click(panel(), IDC_ENCRYPT);
    EXPECT_EQ(Text(), "abcd");
    EXPECT_EQ(Status(), "Encryption successful finished!");
}

TEST_F(TextPanel, RandomKeysAreEightFreshCharactersFromTheSet) {
    std::set<std::string> keys;
    for (int i = 0; i < 20; ++i) {
        Click(panel(), IDC_RANDOMKEY);
        const std::string key = panel().GetDlgItemText(IDC_PASSWORD);
        ASSERT_EQ(key.size(), 8u);
        EXPECT_EQ(key.find_first_not_of(kKeyCharacters), std::string::npos) << key;
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 20u); // presses within one second differ
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST(RandomKey, EveryCharacterEquallyLikelyAndBiasedBytesRedrawn) {
    // Bytes 213..255 would favour the first characters: they must be skipped.
    int call = 0;
    auto fill = [&call](std::span<std::uint8_t> out) {
        for (auto& b : out)
            b = std::uint8_t(call % 2 ? 255 : 70);
        return ++call < 3; // the third draw finds the source gone
    };
    EXPECT_EQ(MakeRandomKey(fill), "||||||||");
    EXPECT_EQ(MakeRandomKey(fill), std::nullopt); // the 255s were drawn again, and failed
    std::map<char, int> seen;
    std::uint8_t next = 0;
    auto sweep = [&next](std::span<std::uint8_t> out) {
        for (auto& b : out)
            b = next++;
        return true;
    };
    for (int i = 0; i < 213; ++i) // eight sweeps over every byte value
        for (char c : std::string(MakeRandomKey(sweep).value()))
            ++seen[c];
    ASSERT_EQ(seen.size(), 71u);
    for (auto [c, n] : seen)
        EXPECT_EQ(n, 24) << c;
}

TEST_F(TextPanel, ClipboardButtonsMoveWholeFieldsEvenWhenMasked) {
    QClipboard* cb = QApplication::clipboard();
    Fill("line one\nline two", "masked pw");
    ASSERT_TRUE(panel().IsMasked(IDC_PASSWORD));
    auto* field = qobject_cast<QLineEdit*>(panel().GetDlgItem(IDC_PASSWORD));
    EXPECT_EQ(field->displayText(), "*********");
    field->selectAll();
    field->copy(); // the field itself keeps a masked password to itself
    EXPECT_EQ(cb->text(), "");
    // A password is marked for clipboard managers to keep out of their history; a text is not.
    const auto secretHint = [cb] {
        return cb->mimeData()->data("x-kde-passwordManagerHint").toStdString();
    };
    Click(panel(), IDC_TOCLIP);
    EXPECT_EQ(cb->text(), "masked pw");
    EXPECT_EQ(secretHint(), "secret");
    EXPECT_FALSE(field->hasSelectedText());
    Click(panel(), IDC_CLIPTEXT);
    EXPECT_EQ(cb->text(), "line one\nline two");
    EXPECT_FALSE(cb->mimeData()->hasFormat("x-kde-passwordManagerHint"));

    cb->setText("from clipboard");
    Click(panel(), IDC_GETCLIP);
    EXPECT_EQ(panel().GetDlgItemText(IDC_PASSWORD), "from clipboard");
    cb->setText("pasted\nmany\nlines");
    Click(panel(), IDC_GETCLIPTEXT);
    EXPECT_EQ(Text(), "pasted\nmany\nlines");

    Click(panel(), IDC_CLEARTEXT); // empties only the text
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(panel().GetDlgItemText(IDC_PASSWORD), "from clipboard");
    EXPECT_EQ(Status(), "Ready to work.");

    cb->setText("x");
    Click(panel(), IDC_GETCLIPTEXT);
    cb->clear();
    Click(panel(), IDC_GETCLIP);
    Click(panel(), IDC_GETCLIPTEXT);
    EXPECT_EQ(panel().GetDlgItemText(IDC_PASSWORD), "");
    EXPECT_EQ(Text(), "");
}

TEST_F(TextPanel, AdviceBoxesShowTheirTexts) {
    for (const auto& [button, text, caption, icon] :
         {std::tuple{IDC_NOTICE, str::kNotice, "NOTICE", MsgIcon::Exclamation},
          {IDC_KEYHELPER, str::kKeyHelper, "NOTICE", MsgIcon::Exclamation},
          {IDC_ARITHMETICS, str::kArithmetics, "Tessarine", MsgIcon::None}}) {
        recorder.messages.clear();
        Click(panel(), button);
        EXPECT_EQ(recorder.messages.size(), 1u);
        ExpectMessage(0, text, caption, icon);
    }
    EXPECT_EQ(Status(), "Ready to work.");
}

} // namespace
