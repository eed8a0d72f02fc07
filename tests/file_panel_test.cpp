// The file panel through its real widgets, with the chooser seam, test and
// real cipher modules, real files and an I/O layer that fails on demand.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "file/BlockCipher.h"
#include "file_fakes.h"
#include "platform/ProgressRunner.h"
#include "res/Resource.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <array>
#include <future>
#include <random>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Pattern(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(gen());
    return s;
}

std::string Padded(std::string s) {
    s.resize(PaddedLength(s.size()), '\0');
    return s;
}

// Runs action from the event loop as soon as ready() holds: no sleeping.
void WhenReady(std::function<bool()> ready, std::function<void()> action) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
        if (ready()) {
            timer->deleteLater();
            timer->stop();
            action();
        }
    });
    timer->start(0);
}

QProgressDialog* VisibleProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

class FilePanel : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        Click(main, IDC_FILE);
    }
    void TearDown() override {
        UseModuleDir(RealModuleDir());
        SetProgressDelay(500ms);
    }
    CFPDlg& panel() { return main.FilePanel(); }
    std::string Field(int id) { return panel().GetDlgItemText(id); }
    void Press(int button, const std::string& source, const std::string& target,
               const std::string& password = "pw") {
        panel().SetDlgItemText(IDC_SOURCE, source);
        panel().SetDlgItemText(IDC_TARGET, target);
        panel().SetDlgItemText(IDC_PASSWORD, password);
        Click(panel(), button);
        // The fields keep their texts after every outcome.
        EXPECT_EQ(Field(IDC_SOURCE), source);
        EXPECT_EQ(Field(IDC_TARGET), target);
        EXPECT_EQ(Field(IDC_PASSWORD), password);
    }
    // Exactly one message since the last call, with its title and icon.
    void ExpectMessage(const std::string& text, const std::string& caption = "Tessarine",
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(recorder.messages[0].caption, caption);
        EXPECT_EQ(recorder.messages[0].icon, icon);
        EXPECT_EQ(recorder.messages[0].owner, &panel());
        recorder.messages.clear();
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string In() const { return (dir / "in").string(); }
    std::string Out() const { return (dir / "out").string(); }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    CMainDlg main;
    TempDir dir;
};

TEST_F(FilePanel, BlocksArePaddedToEightAndEachIsOneModuleCall) {
    UseModuleDir(FakeModuleDir("recording"));
    // 13 bytes that were never encrypted: DECRYPT runs on them all the same.
    const std::vector<std::pair<std::size_t, std::vector<int>>> table = {
        {0, {}}, {1, {8}}, {512, {512}}, {513, {512, 8}}, {1024, {512, 512}}, {13, {16}}};
    for (const auto& [size, lengths] : table) {
        SCOPED_TRACE(size);
        const bool decrypt = size == 13;
        ClearRecordedCalls("DES.DLL");
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(decrypt ? IDC_FDECRYPT : IDC_FENCRYPT, In(), Out(), "key one");
        ExpectMessage(decrypt ? "Decryption successful finished!"
                              : "Encryption successful finished!");
        std::vector<int> seen;
        for (const auto& c : RecordedCalls("DES.DLL")) {
            EXPECT_EQ(c.entry, decrypt ? "DECRYPTFUNC" : "ENCRYPTFUNC");
            EXPECT_EQ(c.key, "key one");
            seen.push_back(c.length);
        }
        EXPECT_EQ(seen, lengths);
        EXPECT_EQ(ReadFile(Out()), Padded(ReadFile(In()))); // the test module changes nothing
    }
}

TEST_F(FilePanel, RoundTripThroughDesGivesTheOriginalPlusItsZeroPadding) {
    const std::string enc = (dir / "enc").string();
    for (std::size_t size : {513, 4109, 77}) {
        SCOPED_TRACE(size);
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(IDC_FENCRYPT, In(), enc, "pass word");
        ExpectMessage("Encryption successful finished!");
        Press(IDC_FDECRYPT, enc, Out(), "pass word");
        ExpectMessage("Decryption successful finished!");
        EXPECT_EQ(ReadFile(Out()), Padded(ReadFile(In())));
    }
    // A wrong password decrypts all the same, to the same length.
    Press(IDC_FDECRYPT, enc, Out(), "wrong");
    ExpectMessage("Decryption successful finished!");
    EXPECT_EQ(fs::file_size(Out()), fs::file_size(enc));
    EXPECT_NE(ReadFile(Out()), Padded(ReadFile(In())));
}

TEST_F(FilePanel, ChecksComeInOrderEachWithItsMessageBeforeTheModuleIsLoaded) {
    UseModuleDir(FakeModuleDir("recording"));
    ClearRecordedCalls("DES.DLL");
    WriteFile(In(), "data");
    WriteFile(dir / "plain", "a file, not a folder");
    fs::create_directory(dir / "folder");
    const std::string missing = (dir / "missing").string(), folder = (dir / "folder").string();
    const std::string noSource = "Could not open source file!!!";
    const std::string noTarget = "Could not open or create target file!!!";
    const std::vector<std::array<std::string, 4>> cases = {
        {missing, (dir / "nofolder" / "x").string(), "", "Plase fill password!"},
        {missing, "", " ", noSource},
        {"", Out(), "pw", noSource},
        {folder, Out(), "pw", noSource},
        {(dir / std::string(260, 'y')).string(), Out(), "pw", noSource},
        {In(), "", "pw", noTarget},
        {In(), (dir / "nofolder" / "x").string(), "pw", noTarget},
        {In(), folder, "pw", noTarget},
        {In(), (dir / "plain" / "x").string(), "pw", noTarget},
        {In(), "/dev/full", "pw", noTarget},
    };
    for (const auto& [source, target, password, message] : cases) {
        SCOPED_TRACE(source + " -> " + target);
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            Press(button, source, target, password);
            ExpectMessage(message);
        }
    }
    EXPECT_TRUE(RecordedCalls("DES.DLL").empty());
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "in", "plain"}));
}

TEST_F(FilePanel, OneFileNamedAsSourceAndTargetIsRefusedAndLeftUnchanged) {
    fs::create_directory(dir / "sub");
    WriteFile(In(), "precious");
    fs::create_symlink(In(), dir / "link");
    fs::create_hard_link(In(), dir / "hard");
    const fs::path old = fs::current_path();
    fs::current_path(dir / "sub");
    for (const std::string& target :
         {In(), std::string("../in"), (dir / "link").string(), std::string("./../sub/../hard")}) {
        SCOPED_TRACE(target);
        Press(IDC_FENCRYPT, In(), target);
        ExpectMessage("Could not open or create target file!!!");
        Press(IDC_FDECRYPT, target, In());
        ExpectMessage("Could not open or create target file!!!");
    }
    fs::current_path(old);
    EXPECT_EQ(ReadFile(In()), "precious");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"hard", "in", "link", "sub"}));
}

TEST_F(FilePanel, MissingModuleOrEntryLeavesAnExistingTargetAndCreatesNone) {
    WriteFile(In(), "some data");
    WriteFile(dir / "existing", "keep me");
    for (const char* kind : {"none", "broken", "empty"}) {
        UseModuleDir(FakeModuleDir(kind));
        for (const char* target : {"existing", "new"}) {
            for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
                SCOPED_TRACE(std::string(kind) + " " + target + " " + std::to_string(button));
                Press(button, In(), (dir / target).string());
                ExpectMessage(std::string(kind) == "empty" ? "FUNCTION load failed!"
                                                           : "Could not get encryption dll!",
                              "");
            }
        }
    }
    // A module with only ENCRYPTFUNC encrypts, and answers DECRYPT with the entry message.
    UseModuleDir(FakeModuleDir("encrypt_only"));
    Press(IDC_FDECRYPT, In(), (dir / "existing").string());
    ExpectMessage("FUNCTION load failed!", "");
    EXPECT_EQ(ReadFile(dir / "existing"), "keep me");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"existing", "in"}));
    Press(IDC_FENCRYPT, In(), (dir / "existing").string());
    ExpectMessage("Encryption successful finished!");
    EXPECT_EQ(ReadFile(dir / "existing"), Padded("some data"));
}

TEST_F(FilePanel, FileErrorPartWayIsReportedAndTheTargetSurvives) {
    const std::string existing = (dir / "existing").string();
    WriteFile(existing, "keep me");
    FakeFiles files;
    files.source = Pattern(5000, 3);
    files.realTarget = true;
    files.writeFailsAt = 1500;
    {
        UseFileLayer use(files);
        Press(IDC_FENCRYPT, "in", existing);
    }
    ExpectMessage("Disk full while accessing " + existing + ".", "Tessarine", MsgIcon::Stop);
    // Through the real layer: reading a process's memory at address 0 fails with EIO.
    Press(IDC_FDECRYPT, "/proc/self/mem", existing);
    ExpectMessage("A hardware I/O error was reported while accessing /proc/self/mem.", "Tessarine",
                  MsgIcon::Stop);
    EXPECT_EQ(ReadFile(existing), "keep me");
    EXPECT_EQ(Listing(), std::vector<std::string>{"existing"});
}

TEST_F(FilePanel, AllFourChoosersShareOneRememberedPathApartFromTheTextPanel) {
    const std::string src = In(), tgt = Out();
    chooser.answers = {src,
                       tgt,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       (dir / std::string(300, 'z')).string()};
    for (int button : {IDC_BROWSESRC, IDC_BROWSETGT, IDC_LOADKEY, IDC_SAVEKEY})
        Click(panel(), button);
    EXPECT_EQ(Field(IDC_SOURCE), src);
    EXPECT_EQ(Field(IDC_TARGET), tgt);
    // A cancelled source browse keeps the field; a cancelled target browse clears it.
    panel().RememberedPath() = src;
    Click(panel(), IDC_BROWSESRC);
    Click(panel(), IDC_BROWSETGT);
    EXPECT_EQ(Field(IDC_SOURCE), src);
    EXPECT_EQ(Field(IDC_TARGET), "");
    // A path too long to open is no choice either.
    Click(panel(), IDC_BROWSESRC);
    EXPECT_EQ(Field(IDC_SOURCE), src);
    EXPECT_EQ(panel().RememberedPath(), "");

    const std::vector<std::pair<std::string, bool>> expected = {
        {"", true}, {src, false}, {tgt, false}, {"", false}, {src, true}, {"", false}, {"", true}};
    ASSERT_EQ(chooser.requests.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(chooser.requests[i].title, "Please select file:") << i;
        EXPECT_EQ(chooser.requests[i].initialPath, expected[i].first) << i;
        // Whether the key-file choosers want an existing file is the key file's business.
        if (i < 2 || i > 3) {
            EXPECT_EQ(chooser.requests[i].fileMustExist, expected[i].second) << i;
        }
    }
    EXPECT_EQ(main.TextPanel().RememberedPath(), "");
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FilePanel, MaskHidesThePasswordButEveryOperationReadsTheRealText) {
    EXPECT_FALSE(panel().IsMasked(IDC_PASSWORD)); // plain at start
    UseModuleDir(FakeModuleDir("recording"));
    ClearRecordedCalls("DES.DLL");
    Click(panel(), IDC_MASK);
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->setText("from clipboard");
    Click(panel(), IDC_GETCLIP);
    EXPECT_EQ(Field(IDC_PASSWORD), "from clipboard");
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    WriteFile(In(), "abc");
    panel().SetDlgItemText(IDC_SOURCE, In());
    panel().SetDlgItemText(IDC_TARGET, Out());
    Click(panel(), IDC_FENCRYPT);
    ExpectMessage("Encryption successful finished!");
    ASSERT_EQ(RecordedCalls("DES.DLL").size(), 1u);
    EXPECT_EQ(RecordedCalls("DES.DLL")[0].key, "from clipboard");
    panel().SetDlgItemText(IDC_PASSWORD, "to clipboard");
    Click(panel(), IDC_TOCLIP); // whole, though masked
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "to clipboard");
    Click(panel(), IDC_MASK);
    EXPECT_FALSE(panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->clear();
    Click(panel(), IDC_GETCLIP);
    EXPECT_EQ(Field(IDC_PASSWORD), "");
}

TEST_F(FilePanel, AFileDroppedOnAPathFieldFillsItWithThePath) {
    QMimeData web, files;
    web.setUrls({QUrl("https://example.org/file.bin")});
    files.setUrls({QUrl::fromLocalFile("/tmp/a folder/first.bin"), QUrl::fromLocalFile("/b")});
    for (int id : {IDC_SOURCE, IDC_TARGET}) {
        QWidget* field = panel().GetDlgItem(id);
        QDragEnterEvent refused(QPoint(2, 2), Qt::CopyAction, &web, Qt::LeftButton, {});
        QApplication::sendEvent(field, &refused);
        EXPECT_FALSE(refused.isAccepted());
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(field, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(field, &drop);
        EXPECT_EQ(Field(id), "/tmp/a folder/first.bin");
    }
}

// Long operations: the loop on a worker thread, a progress dialog, cancelling.
class FilePanelRun : public FilePanel {
protected:
    void SetUp() override {
        FilePanel::SetUp();
        WriteFile(dir / "existing", "keep me");
        files.realTarget = true;
        files.source = std::string(4096, 'x');
    }
    void ExpectTargetAsItWas() {
        EXPECT_TRUE(recorder.messages.empty());
        EXPECT_EQ(ReadFile(dir / "existing"), "keep me");
        EXPECT_EQ(Listing(), std::vector<std::string>{"existing"});
    }
    FakeFiles files;
    UseFileLayer use{files};
    const std::uint64_t longRun = std::uint64_t{16} << 20;
};

TEST_F(FilePanelRun, BlockLoopRunsOffTheWindowThreadWhileTheWindowWorks) {
    std::promise<void> windowRan;
    bool windowBlocked = false;
    files.beforeRead = [&](std::uint64_t offset) {
        if (offset != 0)
            return;
        QMetaObject::invokeMethod(
            qApp, [&] { windowRan.set_value(); }, Qt::QueuedConnection);
        // Only the window thread's event loop can let this go.
        windowBlocked = windowRan.get_future().wait_for(60s) != std::future_status::ready;
    };
    Press(IDC_FENCRYPT, "in", (dir / "existing").string());
    EXPECT_FALSE(windowBlocked);
    EXPECT_NE(files.readerThread, std::this_thread::get_id());
    ExpectMessage("Encryption successful finished!");
    EXPECT_EQ(fs::file_size(dir / "existing"), 4096u);
}

TEST_F(FilePanelRun, CancelInTheProgressDialogLeavesTheTargetAsItWas) {
    SetProgressDelay(0ms);
    files.padTo = longRun;
    QString label;
    bool modal = false;
    WhenReady([] { return VisibleProgressDialog() != nullptr; },
              [&] {
                  QProgressDialog* d = VisibleProgressDialog();
                  label = d->labelText();
                  modal = d->isModal();
                  d->findChild<QPushButton*>()->click();
              });
    Press(IDC_FENCRYPT, "in", (dir / "existing").string());
    EXPECT_TRUE(modal);
    EXPECT_TRUE(QRegularExpression("^Encrypting the file: \\d+ of \\d+ bytes done\\.$")
                    .match(label)
                    .hasMatch())
        << label.toStdString();
    ExpectTargetAsItWas();
    EXPECT_EQ(VisibleProgressDialog(), nullptr);
    files.padTo = 0; // ready for the next press
    Click(panel(), IDC_FENCRYPT);
    ExpectMessage("Encryption successful finished!");
}

TEST_F(FilePanelRun, ClosingTheMainWindowCancelsAndTheWindowIgnoresInputMeanwhile) {
    files.padTo = longRun;
    std::atomic<bool> running{false};
    files.beforeRead = [&](std::uint64_t offset) { running = running || offset > 8192; };
    WhenReady([&] { return running.load(); },
              [&] {
                  // The sidebar would hide the panel; a key would land in the field.
                  QWidget* text = main.GetDlgItem(IDC_TEXT);
                  for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                      QMouseEvent e(type, QPointF(3, 3), text->mapToGlobal(QPointF(3, 3)),
                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                      QApplication::sendEvent(text, &e);
                  }
                  PressKey(panel().GetDlgItem(IDC_PASSWORD), Qt::Key_A);
                  main.GetSafeHwnd()->close();
              });
    Press(IDC_FENCRYPT, "in", (dir / "existing").string());
    EXPECT_FALSE(main.IsWindowVisible());
    EXPECT_TRUE(panel().IsWindowVisible());
    ExpectTargetAsItWas();
}

} // namespace
