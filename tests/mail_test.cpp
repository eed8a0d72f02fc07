// The mail composer: the mailto URL, the mail dialog through the real main window, and the
// desktop launcher with a stand-in xdg-open on PATH.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "mail/MailUrl.h"
#include "res/Resource.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

using namespace quillmar;
using namespace quillmar::test;

namespace {

constexpr const char* kNotStarted =
    "The mail program could not be started. You can still send the text: copy it with \"Clip "
    "Text to Clipboard\" and paste it into a new mail.";

TEST(MailUrl, EncodesEveryPieceInItsPlace) {
    EXPECT_EQ(MakeMailtoUrl("someone", "hi", "abc"), "mailto:someone?subject=hi&body=abc");
    EXPECT_EQ(MakeMailtoUrl("someone", "", "abc"), "mailto:someone?subject=&body=abc");
    EXPECT_EQ(MakeMailtoUrl("someone", "a b", "x&y"), "mailto:someone?subject=a%20b&body=x%26y");
    const std::string kept = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    for (int b = 0; b < 256; ++b) {
        const char hex[] = "0123456789ABCDEF";
        const std::string one(1, char(b)), escaped = {'%', hex[b >> 4], hex[b & 15]};
        EXPECT_EQ(PercentEncode(one), kept.find(char(b)) != std::string::npos ? one : escaped);
    }
    // "@" stays raw only in the address; separators inside a piece cannot split it.
    EXPECT_EQ(MakeMailtoUrl("a@b?subject=", "@&body=", "#+%41"),
              "mailto:a@b%3Fsubject%3D?subject=%40%26body%3D&body=%23%2B%2541");
    EXPECT_EQ(MakeMailtoUrl("a", "Grüße", "one\ntwo\rx"),
              "mailto:a?subject=Gr%C3%BC%C3%9Fe&body=one%0D%0Atwo%0Dx");
}

TEST(MailUrl, DecodingGivesBackEveryPieceExactly) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    for (const auto& [address, subject, text] :
         {std::tuple<std::string, std::string, std::string>{all, all, all},
          {"ü@世", "", "\r\n\n\r\r\n\n\r"},
          {"a", "🙂 & % + #", "line 1\nline 2 %0D%0A\n end?&body=x"}}) {
        const auto parts = ParseMailtoUrl(MakeMailtoUrl(address, subject, text));
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->address, address);
        EXPECT_EQ(parts->subject, subject);
        EXPECT_EQ(parts->body, text);
    }
    for (const char* url :
         {"mailto:a?subject=a b&body=x", "mailto:a?subject=&body=x&y", "mailto:a?subject=&body=%4",
          "mailto:a?subject=&body=%4a", "mailto:a?subject=&body=one%0Atwo",
          "mailto:a?subject=@&body=", "mailto:a&body=x", "mail:a?subject=&body=x"})
        EXPECT_FALSE(ParseMailtoUrl(url).has_value()) << url;
}

// Acts on every modal dialog that opens while it lives, one scripted action each; a dialog
// nobody expected is cancelled, so a wrong turn fails the test instead of hanging it.
class ModalScript {
public:
    ModalScript() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(0);
    }
    std::deque<std::function<void(CDialog&)>> actions;
    int opened = 0;

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        CDialog* dlg = w ? CDialog::FromWidget(w) : nullptr;
        if (!dlg || !dlg->IsModalRun() || m_last == w)
            return;
        m_last = w;
        ++opened;
        EXPECT_EQ(dlg->TemplateId(), IDD_MAIL);
        if (actions.empty())
            return dlg->EndDialog(IDCANCEL);
        auto action = std::move(actions.front());
        actions.pop_front();
        action(*dlg);
    }
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

std::function<void(CDialog&)> Send(const std::string& address, const std::string& subject) {
    return [=](CDialog& d) {
        d.SetDlgItemText(IDC_MAILADDR, address);
        d.SetDlgItemText(IDC_SUBJECT, subject);
        Click(d, IDC_SEND);
    };
}

class MailComposer : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        text().SetDlgItemText(IDC_TEXTFIELD, "x&y");
    }
    CTextDlg& text() { return main.TextPanel(); }

    MessageRecorder recorder;
    RecordingLauncher launcher;
    ModalScript script;
    CMainDlg main;
};

TEST_F(MailComposer, EmptyTextIsRefusedAfterSwitchingToTheTextPanel) {
    text().SetDlgItemText(IDC_TEXTFIELD, "");
    Click(main, IDC_FILE);
    Click(main, IDC_MAIL);
    EXPECT_TRUE(text().IsWindowVisible());
    EXPECT_FALSE(main.FilePanel().IsWindowVisible());
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "There have not text to send out.");
    EXPECT_EQ(recorder.messages[0].caption, "Tessarine");
    EXPECT_EQ(recorder.messages[0].owner, &main);
    EXPECT_EQ(script.opened, 0);
    EXPECT_TRUE(launcher.urls.empty());
}

TEST_F(MailComposer, SendNeedsAnAddressAndMailsTheTextOfTheMoment) {
    script.actions.push_back([this](CDialog& d) {
        EXPECT_EQ(d.GetSafeHwnd()->windowTitle(), "Mailing");
        text().SetDlgItemText(IDC_TEXTFIELD, "changed meanwhile");
        Send("", "a b")(d);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, "Please fill add&sub!");
        EXPECT_EQ(recorder.messages[0].caption, "Tessarine");
        EXPECT_EQ(recorder.messages[0].owner, &d);
        EXPECT_TRUE(d.IsModalRun() && d.IsWindowVisible());
        EXPECT_EQ(d.GetDlgItemText(IDC_SUBJECT), "a b");
        d.SetDlgItemText(IDC_MAILADDR, " "); // only emptiness is checked
        Click(d, IDC_SEND);
    });
    Click(main, IDC_MAIL);
    EXPECT_EQ(launcher.urls, std::vector<std::string>{"mailto:%20?subject=a%20b&body=x%26y"});
    EXPECT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(text().GetDlgItemText(IDC_TEXTFIELD), "changed meanwhile");
}

TEST_F(MailComposer, CancelPathsLaunchNothingAndEnterActsAsSend) {
    for (auto leave : std::initializer_list<std::function<void(CDialog&)>>{
             [](CDialog& d) { Click(d, IDC_MAILCANCEL); },
             [](CDialog& d) { PressKey(d.GetDlgItem(IDC_MAILADDR), Qt::Key_Escape); },
             [](CDialog& d) { d.GetSafeHwnd()->close(); }})
        script.actions.push_back([leave](CDialog& d) {
            d.SetDlgItemText(IDC_MAILADDR, "someone");
            leave(d);
        });
    for (int i = 0; i < 3; ++i)
        Click(main, IDC_MAIL);
    EXPECT_EQ(script.opened, 3);
    EXPECT_TRUE(launcher.urls.empty());

    script.actions.push_back([](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_MAILADDR), ""); // a fresh dialog every time
        d.SetDlgItemText(IDC_MAILADDR, "someone");
        d.SetDlgItemText(IDC_SUBJECT, "hi");
        d.GetDlgItem(IDC_SUBJECT)->setFocus();
        PressKey(d.GetDlgItem(IDC_SUBJECT), Qt::Key_Return);
    });
    Click(main, IDC_MAIL);
    EXPECT_EQ(launcher.urls, std::vector<std::string>{"mailto:someone?subject=hi&body=x%26y"});
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MailComposer, FailedLaunchSaysSoAndKeepsTheText) {
    launcher.succeed = false;
    script.actions.push_back(Send("someone", "hi"));
    Click(main, IDC_MAIL);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, kNotStarted);
    EXPECT_EQ(recorder.messages[0].caption, "Tessarine");
    EXPECT_EQ(recorder.messages[0].owner, &main);
    EXPECT_EQ(text().GetDlgItemText(IDC_TEXTFIELD), "x&y");
}

TEST_F(MailComposer, EncryptedTextArrivesIntactAndStillDecrypts) {
    const std::string original = "Grüße, 世界! 🙂\nsecond & more #%+=?\ttab\n\nend";
    text().SetDlgItemText(IDC_TEXTFIELD, original);
    text().SetDlgItemText(IDC_PASSWORD, "correct horse");
    Click(text(), IDC_ENCRYPT);
    const std::string encrypted = text().GetDlgItemText(IDC_TEXTFIELD);
    ASSERT_NE(encrypted, original);
    script.actions.push_back(Send("someone@example.org", "secret"));
    Click(main, IDC_MAIL);
    ASSERT_EQ(launcher.urls.size(), 1u);
    const auto parts = ParseMailtoUrl(launcher.urls[0]);
    ASSERT_TRUE(parts.has_value()) << launcher.urls[0];
    EXPECT_EQ(parts->body, encrypted);
    text().SetDlgItemText(IDC_TEXTFIELD, parts->body); // as the receiver pastes it
    Click(text(), IDC_DECRYPT);
    EXPECT_EQ(text().GetDlgItemText(IDC_TEXTFIELD), original);
}

// The desktop launcher itself: PATH names only a folder whose stand-in xdg-open writes its
// argument and a line break to a file.
class DesktopLauncher : public MailComposer {
protected:
    void SetUp() override {
        MailComposer::SetUp();
        SetUrlLauncherService(nullptr);
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", bin.path().c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    void InstallStandIn(int exitCode) {
        WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + received().string() +
                                        "'\nexit " + std::to_string(exitCode) + "\n");
        std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    }
    std::filesystem::path received() const { return out / "url.txt"; }

    // Runs the event loop until done() holds, within a bound so that nothing hangs.
    template <class Pred> static void WaitFor(Pred done) {
        QDeadlineTimer deadline(60'000);
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (done() || deadline.hasExpired())
                loop.quit();
        });
        tick.start(10);
        if (!done())
            loop.exec();
    }
    std::string WaitForUrl() {
        std::string got;
        WaitFor([&] { return !(got = ReadFile(received())).empty() && got.back() == '\n'; });
        return got.empty() ? got : got.substr(0, got.size() - 1);
    }

    TempDir bin;
    TempDir out;

private:
    std::string m_savedPath;
};

TEST_F(DesktopLauncher, StandInReceivesTheWholeUrlUpToTheLimit) {
    InstallStandIn(0);
    const std::string body = "Grüße & #1 = 100% +\nline 2 ?\n";
    text().SetDlgItemText(IDC_TEXTFIELD, body);
    script.actions.push_back(Send("someone@example.org", "a b&c"));
    Click(main, IDC_MAIL);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(WaitForUrl(), MakeMailtoUrl("someone@example.org", "a b&c", body));
    std::filesystem::remove(received());

    const std::string prefix = "mailto:a?subject=&body=";
    const std::string longest = prefix + std::string(kMaxUrlBytes - prefix.size(), 'x');
    ASSERT_TRUE(AfxOpenUrl(longest));
    EXPECT_EQ(WaitForUrl(), longest);
    std::filesystem::remove(received());
    EXPECT_FALSE(AfxOpenUrl(longest + "x"));
    EXPECT_FALSE(AfxOpenUrl(std::string("mailto:a\0b", 10)));
    EXPECT_FALSE(AfxOpenUrl("--help"));
    EXPECT_FALSE(std::filesystem::exists(received()));
}

TEST_F(DesktopLauncher, HandlerFailingLaterIsReported) {
    InstallStandIn(4); // xdg-open's "the action failed"
    script.actions.push_back(Send("someone", ""));
    Click(main, IDC_MAIL);
    EXPECT_TRUE(recorder.messages.empty());
    WaitFor([&] { return !recorder.messages.empty(); });
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, kNotStarted);
    EXPECT_EQ(recorder.messages[0].owner, &main);
}

TEST_F(DesktopLauncher, NoOpenerOnPathIsAFailureEvenInTheCurrentFolder) {
    script.actions.push_back(Send("someone", ""));
    Click(main, IDC_MAIL);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, kNotStarted);
    InstallStandIn(0);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(bin.path());
    setenv("PATH", ".:", 1);
    EXPECT_FALSE(AfxOpenUrl("mailto:a?subject=&body="));
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(std::filesystem::exists(received()));
}

} // namespace
