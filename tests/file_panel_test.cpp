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

#include <array>
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

std::string Padded(std::string s) {
    s.resize(PaddedLength(s.size()), '\0');
    return s;
}

// A file that even root may not open for reading, where the system has one:
// sysfs refuses to open a write-only attribute for reading, whoever asks.
std::optional<std::string> UnreadableFile() {
    for (const char* path :
         {"/sys/bus/pci/rescan", "/sys/bus/platform/drivers_probe", "/sys/bus/platform/uevent"}) {
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        else if (errno == EACCES)
            return path;
    }
    return std::nullopt;
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
        WriteFile(In(), Pattern(1000, 1));
        WriteFile(Existing(), "keep me");
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
    void Press(int button, const std::string& source, const std::string& target,
               const std::string& password = "pw") {
        Panel().SetDlgItemText(IDC_SOURCE, source);
        Panel().SetDlgItemText(IDC_TARGET, target);
        Panel().SetDlgItemText(IDC_PASSWORD, password);
        Click(Panel(), button);
        // The fields keep their texts after every outcome.
        EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET) + "|" + Field(IDC_PASSWORD),
                  source + "|" + target + "|" + password);
    }
    // Exactly one message since the last call, with its title and icon.
    void ExpectMessage(const std::string& text, const std::string& caption = "Tessarine",
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_EQ(recorder.messages.size(), 1u);
        const MessageRecord& m = recorder.messages[0];
        EXPECT_EQ(m.text + "|" + m.caption, text + "|" + caption);
        EXPECT_TRUE(m.icon == icon && m.owner == &Panel()) << int(m.icon);
        recorder.messages.clear();
    }
    std::string In() const { return (dir / "in").string(); }
    std::string Out() const { return (dir / "out").string(); }
    std::string Existing() const { return (dir / "existing").string(); }

    MessageRecorder recorder;
    CMainDlg main;
    TempDir dir;
    const fs::path oldDir = fs::current_path();
};

TEST_F(FilePanel, BlocksArePaddedToEightEachIsOneModuleCallAndDesGivesTheFileBack) {
    const std::string key = std::string(1000, 'k') + " Grüße";
    // 13 bytes that were never encrypted: DECRYPT runs on them all the same.
    const std::vector<std::pair<std::size_t, std::vector<int>>> table = {
        {0, {}}, {1, {8}}, {512, {512}}, {513, {512, 8}}, {1024, {512, 512}}, {13, {16}}};
    for (const auto& [size, lengths] : table) {
        SCOPED_TRACE(size);
        const bool decrypt = size == 13;
        ClearRecordedCalls("DES.DLL");
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(decrypt ? IDC_FDECRYPT : IDC_FENCRYPT, In(), Out(), key);
        ExpectMessage(decrypt ? "Decryption successful finished!" : kEncrypted);
        const std::string padded = Padded(ReadFile(In()));
        std::vector<int> seen;
        for (const auto& c : RecordedCalls("DES.DLL")) {
            EXPECT_EQ(c.entry + c.key, (decrypt ? "DECRYPTFUNC" : "ENCRYPTFUNC") + key);
            EXPECT_EQ(c.data, padded.substr(seen.size() * 512, 512));
            seen.push_back(c.length);
        }
        EXPECT_EQ(seen, lengths);
        EXPECT_EQ(ReadFile(Out()), padded); // the test module changes nothing
    }
    // Through DES.DLL and back: the original plus its zero padding.
    UseModuleDir(RealModuleDir());
    for (std::size_t size : {513, 4109, 77}) {
        SCOPED_TRACE(size);
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(IDC_FENCRYPT, In(), "enc", "pass word");
        ExpectMessage(kEncrypted);
        // A wrong password decrypts all the same, to something else.
        for (const std::string key : {"pass word", "wrong"}) {
            Press(IDC_FDECRYPT, "enc", Out(), key);
            ExpectMessage("Decryption successful finished!");
            EXPECT_EQ(ReadFile(Out()) == Padded(ReadFile(In())), key == "pass word");
        }
    }
}

TEST_F(FilePanel, RefusalsComeInOrderEachWithItsMessageAndChangeNothing) {
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    fs::create_directory("sub");
    // Where each link leads, then its name.
    const char* const links[] = {"gone", "dangling", "/dev/full", "to-full",   "in",
                                 "link", "loop",     "loop",      "missing/x", "into-nothing",
                                 "ping", "pong",     "pong",      "ping"};
    for (std::size_t i = 0; i < std::size(links); i += 2)
        fs::create_symlink(links[i], links[i + 1]);
    fs::create_hard_link(In(), "hard");
    const std::string long260(260 - dir.path().string().size() - 1, 'n'); // dir/long260: 260
    WriteFile(long260, "exists, but its path is too long");
    const std::string beyond = (dir / std::string(255, 'f') / std::string(255, 'g')).string();
    std::vector<std::array<std::string, 4>> cases = {
        // The password comes first, then the source, then the target.
        {"missing", "nofolder/x", "", "Plase fill password!"},
        {"missing", "", " ", kNoSource}};
    // A FIFO with no writer must not hang; long260 is short, but its full path has 260.
    std::vector<std::string> sources = {
        "",      "folder", "fifo",     "in/x", (dir / long260).string(),
        long260, beyond,   "dangling", "loop"};
    if (const auto unreadable = UnreadableFile())
        sources.push_back(*unreadable);
    for (const std::string& source : sources)
        cases.push_back({source, Existing(), "pw", kNoSource});
    // Replacing a device by rename would put a file where the device node was; /proc and /sys
    // are read-only places; into-nothing points into a missing folder.
    for (const std::string& target : std::vector<std::string>{
             "", "/dev/full", "to-full", "/dev/null", "fifo", "folder", "in/x", "missing/x",
             "/proc/version", "/proc/quillmar-target", "/sys/quillmar-target",
             (dir / long260).string(), long260, "into-nothing", "loop", (dir / "ping").string()})
        cases.push_back({In(), target, "pw", kNoTarget});
    // One file named as both, however spelled, is refused as a target and left unchanged.
    for (const std::string& same :
         std::vector<std::string>{In(), "in", "sub/../in", "link", "./sub/../hard"}) {
        cases.push_back({In(), same, "pw", kNoTarget});
        cases.push_back({same, In(), "pw", kNoTarget});
    }
    const auto before = Snapshot(dir.path());
    for (const auto& [source, target, password, message] : cases) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(source + " -> " + target + ", button " + std::to_string(button));
            Press(button, source, target, password);
            ExpectMessage(message);
        }
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_TRUE(RecordedCalls("DES.DLL").empty());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(FilePanel, MissingModulesAndFailuresPartWayLeaveTheFolderAsItWas) {
    FakeFiles failing(Pattern(600 << 10, 2), true); // the real target, failing part-way
    failing.writeFailsAt = 300 << 10;
    struct Case {
        std::string module, source, message; // a failed write's message ends with the target
        FileLayer* layer;
    };
    const Case cases[] = {
        {"none", In(), "Could not get encryption dll!", nullptr},
        {"broken", In(), "Could not get encryption dll!", nullptr}, // a text file
        {"empty", In(), "FUNCTION load failed!", nullptr},          // neither entry
        {"recording", In(), "Disk full while accessing ", &failing},
        // Reading a process's memory at address 0 fails with EIO.
        {"recording", "/proc/self/mem",
         "A hardware I/O error was reported while accessing /proc/self/mem.", nullptr},
    };
    const auto before = Snapshot(dir.path());
    for (const auto& c : cases) {
        UseModuleDir(FakeModuleDir(c.module));
        SetFileLayer(c.layer);
        const bool fileError = c.module == "recording";
        for (const std::string& target : {Existing(), Out()}) {
            for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
                SCOPED_TRACE(c.module + " -> " + target + " " + std::to_string(button));
                failing.written.clear();
                Press(button, c.source, target);
                ExpectMessage(c.message + (c.layer ? target + "." : ""),
                              fileError ? "Tessarine" : "",
                              fileError ? MsgIcon::Stop : MsgIcon::None);
                EXPECT_EQ(Snapshot(dir.path()), before);
            }
        }
    }
    SetFileLayer(nullptr);
    // A module with only ENCRYPTFUNC encrypts, and answers DECRYPT with the entry message.
    UseModuleDir(FakeModuleDir("encrypt_only"));
    Press(IDC_FDECRYPT, In(), Existing());
    ExpectMessage("FUNCTION load failed!", "");
    EXPECT_EQ(Snapshot(dir.path()), before);
    Press(IDC_FENCRYPT, In(), Existing());
    ExpectMessage(kEncrypted);
}

TEST_F(FilePanel, DanglingLinksDevicesAndPathsJustShortEnoughWorkAsNamed) {
    fs::permissions(Existing(), fs::perms(0640)); // a replaced file keeps its mode
    fs::create_symlink(Existing(), "to-existing");
    fs::create_symlink(dir / "made-absolute", "abs-link");
    fs::create_directory("sub");
    fs::create_symlink("../made-relative", dir / "sub" / "rel-link");
    const std::string long259 = (dir / std::string(258 - dir.path().string().size(), 'n')).string();
    const std::string padded = Padded(ReadFile(In())); // the recording module changes nothing
    const mode_t oldMask = ::umask(027);               // a new file follows the umask
    for (const auto& [source, target, written, content] : std::vector<std::array<std::string, 4>>{
             {In(), "to-existing", Existing(), padded},
             {In(), "abs-link", (dir / "made-absolute").string(), padded},
             {In(), "sub/rel-link", (dir / "made-relative").string(), padded},
             {"/dev/null", Existing(), Existing(), ""}, // an empty device as source
             {In(), long259, long259, padded},
             {long259, "back", "back", padded}}) {
        SCOPED_TRACE(source + " -> " + target);
        Press(IDC_FENCRYPT, source, target);
        ExpectMessage(kEncrypted);
        EXPECT_EQ(ReadFile(written), content);
    }
    ::umask(oldMask);
    EXPECT_EQ(fs::status("back").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(Existing()).permissions(), fs::perms(0640));
    // The links stay links, pointing where they did.
    EXPECT_EQ(fs::read_symlink("to-existing"), Existing());
    EXPECT_EQ(fs::read_symlink("abs-link"), dir / "made-absolute");
    EXPECT_EQ(fs::read_symlink(dir / "sub" / "rel-link"), "../made-relative");
}

TEST_F(FilePanel, MaskHidesThePasswordButEveryOperationReadsTheRealText) {
    EXPECT_FALSE(Panel().IsMasked(IDC_PASSWORD)); // plain at start
    Click(Panel(), IDC_MASK);
    EXPECT_TRUE(Panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->setText("from clipboard");
    Click(Panel(), IDC_GETCLIP);
    EXPECT_TRUE(Panel().IsMasked(IDC_PASSWORD));
    Press(IDC_FENCRYPT, In(), Out(), Field(IDC_PASSWORD)); // the text as it came
    ExpectMessage(kEncrypted);
    EXPECT_EQ(RecordedCalls("DES.DLL").at(0).key, "from clipboard");
    Panel().SetDlgItemText(IDC_PASSWORD, "to clipboard");
    Click(Panel(), IDC_TOCLIP); // whole, though masked
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "to clipboard");
    Click(Panel(), IDC_MASK);
    EXPECT_FALSE(Panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->clear();
    Click(Panel(), IDC_GETCLIP);
    EXPECT_EQ(Field(IDC_PASSWORD), "");
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
    const std::vector<std::string> sources = {"big", "/dev/zero", ::ptsname(master)};
    const QRegularExpression label("^(En|De)crypting the file: (\\d+)( of \\d+)? bytes done\\.$");
    const auto before = Snapshot(dir.path());
    for (const std::string& source : sources) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(source + ", button " + std::to_string(button));
            const bool known = source == "big", endless = source == "/dev/zero";
            SetFileLayer(known ? &big : nullptr);
            QString shown;
            bool busyBar = false, modal = false;
            // Endless: cancel once bytes have gone through; otherwise once the dialog shows.
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                QProgressDialog* d = VisibleProgressDialog();
                const auto m = label.match(d ? d->labelText() : QString());
                if (!d || (endless && !(m.hasMatch() && m.captured(2).toULongLong() > 0)))
                    return;
                timer.stop();
                shown = d->labelText();
                busyBar = d->minimum() == 0 && d->maximum() == 0;
                modal = d->isModal();
                d->findChild<QPushButton*>()->click();
            });
            timer.start(5);
            Press(button, source, Existing());
            const auto m = label.match(shown);
            EXPECT_TRUE(m.hasMatch()) << shown.toStdString();
            EXPECT_EQ(m.captured(1), button == IDC_FENCRYPT ? "En" : "De");
            EXPECT_EQ(m.captured(3).isEmpty(), !known) << "only a file's size is known";
            EXPECT_EQ(std::pair(busyBar, modal), std::pair(!known, true));
            EXPECT_TRUE(recorder.messages.empty() && !VisibleProgressDialog())
                << "no message, no dialog";
            EXPECT_EQ(Snapshot(dir.path()), before);
        }
    }
    ::close(master);
    Press(IDC_FENCRYPT, In(), Existing()); // a cancel leaves nothing stuck
    ExpectMessage(kEncrypted);
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
    Press(IDC_FENCRYPT, "big", Existing());
    EXPECT_FALSE(windowBlocked);
    EXPECT_FALSE(main.IsWindowVisible());
    EXPECT_TRUE(Panel().IsWindowVisible());
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(Snapshot(dir.path()), before);
}

} // namespace
