// The file panel through its real widgets, and the block loop beneath it: test
// and real cipher modules, real files, hostile paths and devices, and an I/O
// layer that fails on demand.
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

#include <algorithm>
#include <array>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <map>
#include <random>
#include <sys/resource.h>
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

std::string Pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::generate(s.begin(), s.end(), std::mt19937(seed));
    return s;
}

std::string Padded(std::string s) {
    s.resize(PaddedLength(s.size()), '\0');
    return s;
}

// Every entry under a folder with its kind and content. Links are not
// followed: some lead round in a circle.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        entries[e.path().string()] = e.is_symlink() ? "link to " + fs::read_symlink(e).string()
                                     : e.is_regular_file()
                                         ? std::to_string(std::hash<std::string>()(ReadFile(e)))
                                         : "other";
    return entries;
}

// A file that even root may not open for reading.
std::string UnreadableFile() {
    // sysfs refuses to open a write-only attribute for reading, whoever asks.
    for (const char* path :
         {"/sys/bus/pci/rescan", "/sys/bus/platform/drivers_probe", "/sys/bus/platform/uevent"}) {
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        else if (errno == EACCES)
            return path;
    }
    ADD_FAILURE() << "no file that cannot be read was found on this machine";
    return "";
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
        EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET) + "|" + Field(IDC_PASSWORD),
                  source + "|" + target + "|" + password);
    }
    // Exactly one message since the last call, with its title and icon.
    void ExpectMessage(const std::string& text, const std::string& caption = "Tessarine",
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_EQ(recorder.messages.size(), 1u);
        const MessageRecord& m = recorder.messages[0];
        EXPECT_EQ(m.text + "|" + m.caption, text + "|" + caption);
        EXPECT_TRUE(m.icon == icon && m.owner == &panel()) << int(m.icon);
        recorder.messages.clear();
    }
    std::string In() const { return (dir / "in").string(); }
    std::string Out() const { return (dir / "out").string(); }
    std::string Existing() const { return (dir / "existing").string(); }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    CMainDlg main;
    TempDir dir;
    const fs::path oldDir = fs::current_path();
};

TEST_F(FilePanel, BlocksArePaddedToEightAndEachIsOneModuleCallWithTheWholeKey) {
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
}

TEST_F(FilePanel, RoundTripThroughDesGivesTheOriginalPlusItsZeroPadding) {
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
    for (const std::string& source :
         std::vector<std::string>{"", "folder", "fifo", "in/x", (dir / long260).string(), long260,
                                  beyond, "dangling", "loop", UnreadableFile()})
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
    WriteFile(In(), Pattern(600 << 10, 2));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_IGN); // past the limit a write fails instead of ending the process
    // The module, the source, the message, whether it is a file error, whether size is limited.
    const std::vector<std::tuple<std::string, std::string, std::string, bool, bool>> cases = {
        {"none", In(), "Could not get encryption dll!", false, false},
        {"broken", In(), "Could not get encryption dll!", false, false}, // a text file
        {"empty", In(), "FUNCTION load failed!", false, false},          // neither entry
        // The real layer's second big write runs into the limit, part-way.
        {"recording", In(), "Disk full while accessing ", true, true},
        // Reading a process's memory at address 0 fails with EIO.
        {"recording", "/proc/self/mem",
         "A hardware I/O error was reported while accessing /proc/self/mem.", true, false},
    };
    const auto before = Snapshot(dir.path());
    for (const auto& [module, source, message, fileError, sizeLimit] : cases) {
        UseModuleDir(FakeModuleDir(module));
        for (const std::string& target : {Existing(), Out()}) {
            for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
                SCOPED_TRACE(module + " -> " + target + " " + std::to_string(button));
                const rlimit limit{sizeLimit ? 300 << 10 : saved.rlim_cur, saved.rlim_max};
                ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
                Press(button, source, target);
                ::setrlimit(RLIMIT_FSIZE, &saved);
                ExpectMessage(message + (sizeLimit ? target + "." : ""),
                              fileError ? "Tessarine" : "",
                              fileError ? MsgIcon::Stop : MsgIcon::None);
                EXPECT_EQ(Snapshot(dir.path()), before);
            }
        }
    }
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
    const auto works = [&](const std::string& source, const std::string& target,
                           const fs::path& written, const std::string& content) {
        SCOPED_TRACE(source + " -> " + target);
        Press(IDC_FENCRYPT, source, target);
        ExpectMessage(kEncrypted);
        EXPECT_EQ(ReadFile(written), content);
    };
    works(In(), "to-existing", Existing(), padded);
    works(In(), "abs-link", dir / "made-absolute", padded);
    works(In(), "sub/rel-link", dir / "made-relative", padded);
    works("/dev/null", Existing(), Existing(), ""); // an empty device as source
    works(In(), long259, long259, padded);
    const mode_t oldMask = ::umask(027); // a new file follows the umask
    works(long259, "back", dir / "back", padded);
    ::umask(oldMask);
    EXPECT_EQ(fs::status("back").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(Existing()).permissions(), fs::perms(0640));
    // The links stay links, pointing where they did.
    EXPECT_EQ(fs::read_symlink("to-existing"), Existing());
    EXPECT_EQ(fs::read_symlink("abs-link"), dir / "made-absolute");
    EXPECT_EQ(fs::read_symlink(dir / "sub" / "rel-link"), "../made-relative");
}

TEST_F(FilePanel, AllFourChoosersShareOneRememberedPathApartFromTheTextPanel) {
    chooser.answers = {In(), Out(), {}, {}, {}, {}, (dir / std::string(300, 'z')).string()};
    for (int button : {IDC_BROWSESRC, IDC_BROWSETGT, IDC_LOADKEY, IDC_SAVEKEY})
        Click(panel(), button);
    EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET), In() + "|" + Out());
    // A cancelled source browse keeps the field; a cancelled target browse clears it. A path too
    // long to open is no choice either.
    panel().RememberedPath() = In();
    for (int button : {IDC_BROWSESRC, IDC_BROWSETGT, IDC_BROWSESRC})
        Click(panel(), button);
    EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET), In() + "|");
    EXPECT_EQ(panel().RememberedPath(), "");

    const std::vector<std::pair<std::string, bool>> expected = {
        {"", true},   {In(), false}, {Out(), false}, {"", false},
        {In(), true}, {"", false},   {"", true}};
    ASSERT_EQ(chooser.requests.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FileChooserRequest& r = chooser.requests[i];
        EXPECT_EQ(r.title + "|" + r.initialPath, "Please select file:|" + expected[i].first) << i;
        // Whether the key-file choosers want an existing file is the key file's business.
        EXPECT_TRUE(i == 2 || i == 3 || r.fileMustExist == expected[i].second) << i;
    }
    EXPECT_EQ(main.TextPanel().RememberedPath(), "");
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FilePanel, MaskHidesThePasswordButEveryOperationReadsTheRealText) {
    EXPECT_FALSE(panel().IsMasked(IDC_PASSWORD)); // plain at start
    Click(panel(), IDC_MASK);
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->setText("from clipboard");
    Click(panel(), IDC_GETCLIP);
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    Press(IDC_FENCRYPT, In(), Out(), Field(IDC_PASSWORD)); // the text as it came
    ExpectMessage(kEncrypted);
    EXPECT_EQ(RecordedCalls("DES.DLL").at(0).key, "from clipboard");
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
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                windowRan.set_value();
                QWidget* text = main.GetDlgItem(IDC_TEXT);
                for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                    QMouseEvent e(type, QPointF(3, 3), text->mapToGlobal(QPointF(3, 3)),
                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(text, &e);
                }
                PressKey(panel().GetDlgItem(IDC_PASSWORD), Qt::Key_A);
                main.GetSafeHwnd()->close();
            },
            Qt::QueuedConnection);
        // Only the window thread's event loop can let this go.
        windowBlocked = windowRan.get_future().wait_for(60s) != std::future_status::ready;
    };
    const auto before = Snapshot(dir.path());
    Press(IDC_FENCRYPT, "big", Existing());
    EXPECT_FALSE(windowBlocked);
    EXPECT_FALSE(main.IsWindowVisible());
    EXPECT_TRUE(panel().IsWindowVisible());
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(Snapshot(dir.path()), before);
}

// The block loop on its own: where it stops on a failure or a cancel.
int g_calls = 0, g_cancelAfter = 0; // no cancel at 0
std::atomic<bool> g_cancel{false};

void CountingEntry(char*, const char*, std::int32_t) {
    g_cancel = ++g_calls == g_cancelAfter;
}

TEST(BlockLoop, AnErrorOrACancelAtAnyByteEndsTheLoopAndNothingIsCommitted) {
    FakeFiles files(Pattern(3000, 6));
    std::atomic<std::uint64_t> done{0};
    const auto run = [&](int cancelAfter) {
        g_calls = 0, g_cancelAfter = cancelAfter;
        files.written.clear();
        files.committed = g_cancel = false;
        return RunBlockCipher("in", "out", "pw", CountingEntry, {&g_cancel, &done}, files);
    };
    // At 2999 a cancel comes after the last block: the target still takes nothing.
    for (std::uint64_t at : {0, 100, 512, 1536, 2999}) {
        for (const std::string what : {"read", "write", "cancel"}) {
            SCOPED_TRACE(std::to_string(at) + " " + what);
            files.readFailsAt = what == "read" ? std::optional(at) : std::nullopt;
            files.writeFailsAt = what == "write" ? std::optional(at) : std::nullopt;
            const int blocks = int(at / 512) + (what == "read" ? 0 : 1);
            const BlockOutcome outcome = run(what == "cancel" ? blocks : 0);
            EXPECT_EQ(g_calls, blocks);
            EXPECT_FALSE(files.committed);
            if (what == "cancel") {
                EXPECT_EQ(outcome.kind, BlockOutcome::Kind::Cancelled);
                EXPECT_EQ(done.load(), std::min<std::uint64_t>(blocks * 512, 3000));
            } else {
                EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
                EXPECT_EQ(
                    std::pair(outcome.error.cause, outcome.error.path),
                    std::pair(what == "read" ? FileErrorCause::HardIO : FileErrorCause::DiskFull,
                              fs::absolute(what == "read" ? "in" : "out").string()));
            }
        }
    }
    EXPECT_EQ(run(0).kind, BlockOutcome::Kind::Success);
    EXPECT_EQ(done.load(), 3000u);
    files.commitFails = true;
    EXPECT_EQ(run(0).kind, BlockOutcome::Kind::FileError);
}

} // namespace
