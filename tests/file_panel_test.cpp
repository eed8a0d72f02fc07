// The file panel through its real widgets: test and real cipher modules, real
// files, hostile paths and devices, and a file layer that fails on demand.
#include "FakeFiles.h"
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "blockloop/BlockCipher.h"
#include "platform/ui/ProgressRunner.h"
#include "res/Resource.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kNoSource = "Could not open source file!!!";
const std::string kNoTarget = "Could not open or create target file!!!";
const std::string kEncrypted = "Encryption successful finished!";
const std::string kDecrypted = "Decryption successful finished!";
const std::string kCancelled =
    "Cancelled. Nothing was changed: the target file was left as it was.";

std::string Padded(std::string s) {
    s.resize(PaddedLength(s.size()), '\0');
    return s;
}

// A message box as Press gives it: its caption, its icon and its text, in that order.
std::string Shown(const std::string& text, MsgIcon icon = MsgIcon::None,
                  const std::string& caption = "Tessarine") {
    return caption + " " + std::to_string(int(icon)) + ": " + text;
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
        fs::current_path(dir.path()); // relative names stay short where full paths are long
        WriteFile(in, Pattern(1000, 1));
        WriteFile(existing, "keep me");
        UseModuleDir(FakeModuleDir("recording"));
        ClearRecordedCalls("DES.DLL");
    }
    void TearDown() override {
        fs::current_path(oldDir);
        SetFileLayer(nullptr);
        SetProgressDelay(kProgressDelay);
    }
    CFPDlg& Panel() { return main.FilePanel(); }
    std::string Field(int id) { return Panel().GetDlgItemText(id); }
    // Fills the fields and presses button; gives the one message the panel then showed, as
    // Shown puts it, or "" for none.
    std::string Press(int button, const std::string& source, const std::string& target,
                      const std::string& password = "pw") {
        Panel().SetDlgItemText(IDC_SOURCE, source);
        Panel().SetDlgItemText(IDC_TARGET, target);
        Panel().SetDlgItemText(IDC_PASSWORD, password);
        Click(Panel(), button);
        // The fields keep their texts after every outcome.
        EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET) + "|" + Field(IDC_PASSWORD),
                  source + "|" + target + "|" + password);
        const auto shown = std::exchange(recorder.messages, {});
        if (shown.size() != 1)
            return shown.empty() ? "" : "several messages";
        EXPECT_EQ(shown[0].owner, &Panel());
        return Shown(shown[0].text, shown[0].icon, shown[0].caption);
    }
    // Presses Encrypt, then Decrypt: each shows message and leaves the folder as it was before.
    void Refused(const std::string& source, const std::string& target, const std::string& message,
                 const std::string& password = "pw") {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(source + " -> " + target + ", button " + std::to_string(button));
            EXPECT_EQ(Press(button, source, target, password), message);
            EXPECT_EQ(Snapshot(dir.path()), before);
        }
    }

    MessageRecorder recorder;
    CMainDlg main;
    TempDir dir;
    const std::string in = (dir / "in").string(), out = (dir / "out").string(),
                      existing = (dir / "existing").string();
    const fs::path oldDir = fs::current_path();
    std::map<std::string, std::string> before; // the folder, as Refused expects it
};

TEST_F(FilePanel, BlocksArePaddedToEightEachIsOneModuleCallAndDesGivesTheFileBack) {
    const std::string key = std::string(1000, 'k') + " Grüße";
    // 13 bytes that were never encrypted: DECRYPT runs on them all the same.
    const std::vector<std::pair<std::size_t, std::vector<int>>> table = {
        {0, {}}, {1, {8}}, {512, {512}}, {513, {512, 8}}, {1024, {512, 512}}, {13, {16}}};
    EXPECT_FALSE(Panel().IsMasked(IDC_PASSWORD)); // plain at start; masked, it gives the real text
    Click(Panel(), IDC_MASK);
    EXPECT_TRUE(Panel().IsMasked(IDC_PASSWORD));
    for (const auto& [size, lengths] : table) {
        SCOPED_TRACE(size);
        const bool decrypt = size == 13;
        ClearRecordedCalls("DES.DLL");
        WriteFile(in, Pattern(size, unsigned(size)));
        EXPECT_EQ(Press(decrypt ? IDC_FDECRYPT : IDC_FENCRYPT, in, out, key),
                  Shown(decrypt ? kDecrypted : kEncrypted));
        const std::string padded = Padded(ReadFile(in));
        std::vector<int> seen;
        for (const auto& c : RecordedCalls("DES.DLL")) {
            EXPECT_EQ(c.entry + c.key + c.data, (decrypt ? "DECRYPTFUNC" : "ENCRYPTFUNC") + key +
                                                    padded.substr(seen.size() * 512, 512));
            seen.push_back(c.length);
        }
        EXPECT_EQ(seen, lengths);
        EXPECT_EQ(ReadFile(out), padded); // the test module changes nothing
    }
}

TEST_F(FilePanel, RefusalsComeInOrderEachWithItsMessageAndChangeNothing) {
    fs::create_directory("folder");
    fs::create_directory("sub");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    // Where each link leads, then its name.
    const char* const links[] = {"gone", "dangling", "/dev/full", "to-full",   "in",
                                 "link", "loop",     "loop",      "missing/x", "into-nothing",
                                 "ping", "pong",     "pong",      "ping"};
    for (std::size_t i = 0; i < std::size(links); i += 2)
        fs::create_symlink(links[i], links[i + 1]);
    fs::create_hard_link(in, "hard");
    const std::string long260(260 - dir.path().string().size() - 1, 'n'); // dir/long260: 260
    WriteFile(long260, "exists, but its path is too long");
    const std::string beyond = (dir / std::string(255, 'f') / std::string(255, 'g')).string();
    before = Snapshot(dir.path());
    // The password comes first, then the source, then the target.
    Refused("missing", "nofolder/x", Shown("Plase fill password!"), "");
    Refused("missing", "", Shown(kNoSource), " ");
    // A FIFO with no writer must not hang; long260 is short, but its full path has 260.
    for (const std::string& source :
         {std::string(), std::string("folder"), std::string("fifo"), std::string("in/x"),
          (dir / long260).string(), long260, beyond, std::string("dangling"), std::string("loop")})
        Refused(source, existing, Shown(kNoSource));
    // Replacing a device by rename would put a file where the device node was; /proc and /sys
    // are read-only places; into-nothing points into a missing folder.
    for (const std::string& target : std::vector<std::string>{
             "", "/dev/full", "to-full", "/dev/null", "fifo", "folder", "in/x", "missing/x",
             "/proc/version", "/proc/quillmar-target", "/sys/quillmar-target",
             (dir / long260).string(), long260, "into-nothing", "loop", (dir / "ping").string()})
        Refused(in, target, Shown(kNoTarget));
    // One file named as both, however spelled, is refused as a target and left unchanged.
    for (const std::string& same :
         std::vector<std::string>{in, "in", "sub/../in", "link", "./sub/../hard"}) {
        Refused(in, same, Shown(kNoTarget));
        Refused(same, in, Shown(kNoTarget));
    }
    EXPECT_TRUE(RecordedCalls("DES.DLL").empty());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(FilePanel, MissingModulesAndFailuresPartWayLeaveTheFolderAsItWas) {
    FakeFiles failing(Pattern(600 << 10, 2), true, {}, 300 << 10); // the real target, part-way
    // The module folder, the source, the message (a failed write's ends with the target) and
    // the file layer.
    const std::string kNoModule = "Could not get encryption dll!";
    const std::tuple<std::string, std::string, std::string, FileLayer*> cases[] = {
        {"none", in, Shown(kNoModule, MsgIcon::None, ""), nullptr},
        {"broken", in, Shown(kNoModule, MsgIcon::None, ""), nullptr},              // a text file
        {"empty", in, Shown("FUNCTION load failed!", MsgIcon::None, ""), nullptr}, // no entry
        {"recording", in, Shown("Disk full while accessing ", MsgIcon::Stop), &failing},
        // Reading a process's memory at address 0 fails with EIO.
        {"recording", "/proc/self/mem",
         Shown("A hardware I/O error was reported while accessing /proc/self/mem.", MsgIcon::Stop),
         nullptr},
    };
    before = Snapshot(dir.path());
    for (const auto& [module, source, message, layer] : cases) {
        UseModuleDir(FakeModuleDir(module));
        SetFileLayer(layer);
        for (const std::string& target : {existing, out})
            Refused(source, target, message + (layer ? target + "." : ""));
    }
    SetFileLayer(nullptr);
    // A module with only ENCRYPTFUNC encrypts, and answers DECRYPT with the entry message.
    UseModuleDir(FakeModuleDir("encrypt_only"));
    EXPECT_EQ(Press(IDC_FDECRYPT, in, existing), Shown("FUNCTION load failed!", MsgIcon::None, ""));
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(Press(IDC_FENCRYPT, in, existing), Shown(kEncrypted));
}

TEST_F(FilePanel, DanglingLinksDevicesAndPathsJustShortEnoughWorkAsNamed) {
    fs::permissions(existing, fs::perms(0640)); // a replaced file keeps its mode
    fs::create_symlink(dir / "made-absolute", "abs-link");
    const std::string long259 = (dir / std::string(258 - dir.path().string().size(), 'n')).string();
    const std::string padded = Padded(ReadFile(in)); // the recording module changes nothing
    const mode_t oldMask = ::umask(027);             // a new file follows the umask
    for (const auto& [source, target, written, content] : std::vector<std::array<std::string, 4>>{
             {in, "abs-link", (dir / "made-absolute").string(), padded},
             {"/dev/null", existing, existing, ""}, // an empty device as source
             {in, long259, long259, padded},
             {long259, "back", "back", padded}}) {
        EXPECT_EQ(Press(IDC_FENCRYPT, source, target), Shown(kEncrypted)) << target;
        EXPECT_EQ(ReadFile(written), content) << target;
    }
    ::umask(oldMask);
    EXPECT_EQ(fs::status("back").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(existing).permissions(), fs::perms(0640));
    // The links stay links, pointing where they did.
    EXPECT_EQ(fs::read_symlink("abs-link"), dir / "made-absolute");
}

TEST_F(FilePanel, AFileDroppedOnAPathFieldFillsItWithThePath) {
    QMimeData web, files;
    web.setUrls({QUrl("https://example.org/file.bin")});
    files.setUrls({QUrl::fromLocalFile("/tmp/a folder/first.bin"), QUrl::fromLocalFile("/b")});
    for (int id : {IDC_SOURCE, IDC_TARGET}) {
        QWidget* field = Panel().GetDlgItem(id);
        for (QMimeData* data : {&web, &files}) { // only local files are taken
            QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(field, &enter);
            EXPECT_EQ(enter.isAccepted(), data == &files);
        }
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(field, &drop);
        EXPECT_EQ(Field(id), "/tmp/a folder/first.bin");
    }
}

TEST_F(FilePanel, CancelInTheProgressDialogLeavesTheTargetAsItWas) {
    UseModuleDir(RealModuleDir()); // the recording module would keep every block
    SetProgressDelay(0ms);
    FakeFiles big(std::string(16 << 20, 'x'), true); // too big to be done before the cancel
    // A terminal with nobody typing: its reads wait for ever.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    before = Snapshot(dir.path());
    for (const std::string& source :
         std::vector<std::string>{"big", "/dev/zero", ::ptsname(master)}) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(source + ", button " + std::to_string(button));
            const bool known = source == "big", endless = source == "/dev/zero";
            SetFileLayer(known ? &big : nullptr);
            std::string seen; // the dialog's label, bar and modality when cancelled
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                // Endless: cancel once bytes have gone through; otherwise once the dialog shows.
                QProgressDialog* d = VisibleProgressDialog();
                if (!d || (endless && d->labelText().contains(": 0 MiB")))
                    return;
                timer.stop();
                seen = d->labelText().toStdString() +
                       (d->minimum() == 0 && d->maximum() == 0 ? " busy" : "") +
                       (d->isModal() ? " modal" : "");
                d->findChild<QPushButton*>()->click();
            });
            timer.start(5);
            EXPECT_EQ(Press(button, source, existing), Shown(kCancelled));
            // Only a file's size is known; else the bar is busy. The text is quillmar's.
            const std::string expected =
                (button == IDC_FENCRYPT ? "En" : "De") + std::string("crypting the file: ") +
                (known ? "\\d+ %  \\d+/16 MiB.* modal" : "\\d+ MiB.* busy modal");
            const QRegularExpression whole(QRegularExpression::anchoredPattern(expected.c_str()));
            EXPECT_TRUE(whole.match(QString::fromStdString(seen)).hasMatch()) << seen;
            EXPECT_FALSE(VisibleProgressDialog());
            EXPECT_EQ(Snapshot(dir.path()), before);
        }
    }
    ::close(master);
    EXPECT_EQ(Press(IDC_FENCRYPT, in, existing), Shown(kEncrypted)); // nothing left stuck
}

TEST_F(FilePanel, TheLoopRunsOffTheWindowThreadAndClosingTheWindowCancelsIt) {
    UseModuleDir(RealModuleDir());
    FakeFiles files(std::string(16 << 20, 'x'), true);
    SetFileLayer(&files);
    std::promise<void> windowRan;
    bool windowBlocked = false;
    files.beforeRead = [&](std::uint64_t offset) {
        if (offset != 0)
            return;
        // While the loop goes on, the sidebar would hide the panel and a key would land in the
        // field; then the main window closes.
        const auto meanwhile = [&] {
            windowRan.set_value();
            QWidget* text = main.GetDlgItem(IDC_TEXT);
            for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent e(type, QPointF(3, 3), text->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(text, &e);
            }
            PressKey(Panel().GetDlgItem(IDC_PASSWORD), Qt::Key_A);
            main.GetSafeHwnd()->close();
        };
        QMetaObject::invokeMethod(qApp, meanwhile, Qt::QueuedConnection);
        // Only the window thread's event loop can let this go.
        windowBlocked = windowRan.get_future().wait_for(60s) != std::future_status::ready;
    };
    const auto before = Snapshot(dir.path());
    EXPECT_EQ(Press(IDC_FENCRYPT, "big", existing), "");
    EXPECT_FALSE(windowBlocked);
    EXPECT_FALSE(main.IsWindowVisible());
    EXPECT_TRUE(Panel().IsWindowVisible());
    EXPECT_EQ(Snapshot(dir.path()), before);
}

} // namespace
