// The mail composer: the mailto URL, the mail dialog through the real main window, and the
// desktop launcher with a stand-in xdg-open on PATH.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "mailto/MailUrl.h"
#include "res/Resource.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillmar;
using namespace quillmar::test;

namespace {

constexpr const char* kNotStarted =
    "The mail program could not be started. You can still send the text: copy it with \"Clip "
    "Text to Clipboard\" and paste it into a new mail.";

TEST(MailUrl, EncodesEveryPieceInItsPlaceAndDecodesBackExactly) {
    // An empty subject stays; a space is %20, as the composer's own URLs below show.
    EXPECT_EQ(MakeMailtoUrl("someone", "", "x&y"), "mailto:someone?subject=&body=x%26y");
    // "@" stays raw only in the address; separators inside a piece cannot split it.
    EXPECT_EQ(MakeMailtoUrl("a@b?subject=", "@&body=", "#+%41"),
              "mailto:a@b%3Fsubject%3D?subject=%40%26body%3D&body=%23%2B%2541");
    // Several recipients are separated by a literal comma, in the address part only.
    EXPECT_EQ(MakeMailtoUrl("a@x.example,b@y.example", "1,2", "3,4"),
              "mailto:a@x.example,b@y.example?subject=1%2C2&body=3%2C4");
    EXPECT_EQ(MakeMailtoUrl("a", "Grüße", "one\ntwo\rx"),
              "mailto:a?subject=Gr%C3%BC%C3%9Fe&body=one%0D%0Atwo%0Dx");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    // Every byte but A-Z a-z 0-9 - . _ ~ is escaped, as Qt's own encoder does it.
    EXPECT_EQ(PercentEncode(all), QByteArray::fromStdString(all).toPercentEncoding().toStdString());
    // Decoding gives back every piece: the fuzz target mailto_fuzz tries any three.
    for (const std::string& text : {all, std::string("\n\r\n\n%0D%0A&body=x")})
        EXPECT_EQ(DecodeMailto(MakeMailtoUrl(all, all, text)), MailParts({all, all, text}));
}

struct MailComposer : ::testing::Test {
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        text().SetDlgItemText(IDC_TEXTFIELD, "x&y");
    }
    CTextDlg& text() { return main.TextPanel(); }

    // Presses Mail; if the mail dialog opens, checks that it opens empty, fills it in and
    // finishes it (by default with Send). Returns whether it opened.
    bool Mail(const std::string& address, const std::string& subject,
              std::function<void(CDialog&)> finish = {}) {
        bool opened = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            CDialog* d = CDialog::FromWidget(QApplication::activeModalWidget());
            if (opened || !d || !d->IsModalRun())
                return;
            opened = true;
            EXPECT_EQ(d->GetSafeHwnd()->windowTitle(), "Mailing");
            EXPECT_EQ(d->GetDlgItemText(IDC_MAILADDR) + d->GetDlgItemText(IDC_SUBJECT), "");
            d->SetDlgItemText(IDC_MAILADDR, address);
            d->SetDlgItemText(IDC_SUBJECT, subject);
            finish ? finish(*d) : Click(*d, IDC_SEND);
        });
        poll.start(0);
        Click(main, IDC_MAIL);
        return opened;
    }
    // The one message shown since the last call, titled with the application's name.
    std::string Message(const CDialog* owner) {
        auto shown = std::exchange(recorder.messages, {});
        if (shown.size() != 1)
            return std::to_string(shown.size()) + " messages";
        EXPECT_EQ(shown[0].caption, "Tessarine");
        EXPECT_EQ(shown[0].icon, MsgIcon::None);
        EXPECT_EQ(shown[0].owner, owner);
        return shown[0].text;
    }

    MessageRecorder recorder;
    RecordingLauncher launcher;
    CMainDlg main;
};

TEST_F(MailComposer, RefusesNoTextOrAddressMailsTheTextOfTheMomentAndCancelsLaunchNothing) {
    text().SetDlgItemText(IDC_TEXTFIELD, "");
    Click(main, IDC_FILE);
    EXPECT_FALSE(Mail("someone", "hi"));
    EXPECT_TRUE(text().IsWindowVisible() && !main.FilePanel().IsWindowVisible());
    EXPECT_EQ(Message(&main), "There have not text to send out.");

    text().SetDlgItemText(IDC_TEXTFIELD, "x&y");
    EXPECT_TRUE(Mail("", "a b", [this](CDialog& d) {
        text().SetDlgItemText(IDC_TEXTFIELD, "changed meanwhile");
        Click(d, IDC_SEND);
        EXPECT_EQ(Message(&d), "Please fill add&sub!");
        EXPECT_TRUE(d.IsModalRun() && d.IsWindowVisible()); // the subject kept, as the URL shows
        d.SetDlgItemText(IDC_MAILADDR, " ");                // only emptiness is checked
        d.GetDlgItem(IDC_SUBJECT)->setFocus();
        PressKey(d.GetDlgItem(IDC_SUBJECT), Qt::Key_Return); // Enter acts as Send
    }));
    EXPECT_EQ(launcher.urls, std::vector<std::string>{"mailto:%20?subject=a%20b&body=x%26y"});
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(text().GetDlgItemText(IDC_TEXTFIELD), "changed meanwhile");

    // Each leaves the fields filled in: the next dialog must still open empty. Pressed on the
    // file panel, Mail shows the text panel whatever happens next.
    for (auto leave : std::initializer_list<std::function<void(CDialog&)>>{
             [](CDialog& d) { Click(d, IDC_MAILCANCEL); },
             [](CDialog& d) { PressKey(d.GetDlgItem(IDC_MAILADDR), Qt::Key_Escape); },
             [](CDialog& d) { d.GetSafeHwnd()->close(); }}) {
        Click(main, IDC_FILE);
        EXPECT_TRUE(Mail("someone", "hi", leave));
        EXPECT_TRUE(text().IsWindowVisible() && !main.FilePanel().IsWindowVisible());
    }
    EXPECT_EQ(launcher.urls.size(), 1u); // none from the cancelled ones
}

// The desktop launcher itself: PATH names only a folder whose stand-in xdg-open writes its
// argument and a line break to a file.
struct DesktopLauncher : MailComposer {
    DesktopLauncher() {
        SetUrlLauncherService(nullptr);
        setenv("PATH", bin.path().c_str(), 1);
    }
    ~DesktopLauncher() override { setenv("PATH", savedPath.c_str(), 1); }

    void InstallStandIn(int exitCode) {
        WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + received.string() +
                                        "'\nexit " + std::to_string(exitCode) + "\n");
        std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    }
    // The URL the stand-in received, once it has come whole.
    std::string WaitForUrl() {
        std::string got;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !(got = ReadFile(received)).empty() && got.back() == '\n'; }, 60'000));
        std::filesystem::remove(received);
        return got.substr(0, got.size() - 1);
    }

    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    TempDir bin, out;
    const std::filesystem::path received = out / "url.txt";
};

// The encrypted text, and two recipients with their literal comma, reach the opener intact;
// URLs pass up to the limit and no further; a missing or failing opener is reported, and the
// current folder is never searched for one.
TEST_F(DesktopLauncher, UrlsArriveIntactUpToTheLimitAndAMissingOrFailingOpenerIsReported) {
    EXPECT_TRUE(Mail("someone", ""));
    EXPECT_EQ(Message(&main), kNotStarted);
    EXPECT_EQ(text().GetDlgItemText(IDC_TEXTFIELD), "x&y"); // kept for another try

    InstallStandIn(0);
    const std::string original = "Grüße, 世界! 🙂\nsecond & more #%+=?\ttab\n\nend";
    text().SetDlgItemText(IDC_TEXTFIELD, original);
    text().SetDlgItemText(IDC_PASSWORD, "correct horse");
    Click(text(), IDC_ENCRYPT);
    const std::string encrypted = text().GetDlgItemText(IDC_TEXTFIELD);
    ASSERT_NE(encrypted, original);
    EXPECT_TRUE(Mail("someone@example.org,other@example.org", "a b&c"));
    EXPECT_TRUE(recorder.messages.empty());
    const std::string url = WaitForUrl();
    EXPECT_EQ(url, MakeMailtoUrl("someone@example.org,other@example.org", "a b&c", encrypted));

    const std::string prefix = "mailto:a?subject=&body=";
    const std::string longest = prefix + std::string(kMaxUrlBytes - prefix.size(), 'x');
    ASSERT_TRUE(AfxOpenUrl(longest));
    EXPECT_EQ(WaitForUrl(), longest);
    EXPECT_FALSE(AfxOpenUrl(longest + "x"));
    EXPECT_FALSE(AfxOpenUrl(std::string("mailto:a\0b", 10)));
    EXPECT_FALSE(AfxOpenUrl("--help"));
    EXPECT_FALSE(std::filesystem::exists(received));

    InstallStandIn(4); // xdg-open's "the action failed"
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(bin.path());
    setenv("PATH", ".:", 1);
    EXPECT_FALSE(AfxOpenUrl("mailto:a?subject=&body="));
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(std::filesystem::exists(received));
    setenv("PATH", bin.path().c_str(), 1);
    EXPECT_TRUE(Mail("someone", ""));
    EXPECT_TRUE(recorder.messages.empty()); // the handler fails later
    EXPECT_TRUE(QTest::qWaitFor([&] { return !recorder.messages.empty(); }, 60'000));
    EXPECT_EQ(Message(&main), kNotStarted);
}

} // namespace
