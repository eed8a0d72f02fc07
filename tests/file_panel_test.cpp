// The file panel through its real widgets, and the block loop beneath it: test
// and real cipher modules, real files, hostile paths and devices, and an I/O
// layer that fails on demand.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "file/BlockCipher.h"
#include "platform/ProgressRunner.h"
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

// An I/O layer that fails where a test says: reads or writes after N bytes, the
// commit. The source lives in memory; the target too, or is a real file with
// only the failure put in front of it.
struct FakeFiles : FileLayer {
    std::string source, written;
    std::optional<std::uint64_t> readFailsAt, writeFailsAt;
    bool commitFails = false, realTarget = false, committed = false;
    std::function<void(std::uint64_t offset)> beforeRead; // on the reading thread

    struct Stream : ByteReader, ByteWriter {
        Stream(FakeFiles& f, std::string p, std::unique_ptr<ByteWriter> in = nullptr)
            : f(f), path(std::move(p)), inner(std::move(in)) {}
        std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) override {
            if (f.beforeRead)
                f.beforeRead(pos);
            if (f.readFailsAt && pos + size > *f.readFailsAt) {
                error = {FileErrorCause::HardIO, path};
                return std::nullopt;
            }
            const std::size_t n = f.source.copy(data, size, pos);
            pos += n;
            return n;
        }
        std::uint64_t Size() const override { return f.source.size(); }
        bool Write(const char* data, std::size_t size, FileError& error) override {
            if (f.writeFailsAt && f.written.size() + size > *f.writeFailsAt) {
                error = {FileErrorCause::DiskFull, path};
                return false;
            }
            f.written.append(data, size);
            return !inner || inner->Write(data, size, error);
        }
        bool Commit(FileError& error) override {
            if (f.commitFails)
                error = {FileErrorCause::HardIO, path};
            return f.committed = !f.commitFails && (!inner || inner->Commit(error));
        }
        FakeFiles& f;
        std::string path;
        std::unique_ptr<ByteWriter> inner;
        std::size_t pos = 0;
    };
    std::unique_ptr<ByteReader> OpenRead(const std::string& path) override {
        return std::make_unique<Stream>(*this, path);
    }
    std::unique_ptr<ByteWriter> OpenReplace(const std::string& path) override {
        auto inner = realTarget ? PosixFileLayer().OpenReplace(path) : nullptr;
        return realTarget && !inner ? nullptr
                                    : std::make_unique<Stream>(*this, path, std::move(inner));
    }
};

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
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const fs::path& p = e.path();
        entries[p.lexically_relative(dir).string()] =
            e.is_symlink()        ? "link to " + fs::read_symlink(p).string()
            : e.is_regular_file() ? "file " + std::to_string(std::hash<std::string>()(ReadFile(p)))
            : e.is_directory()    ? "folder"
                                  : "other";
    }
    return entries;
}

// A file that even root may not open for reading.
std::string UnreadableFile(const fs::path& dir) {
    if (::geteuid() != 0) {
        WriteFile(dir / "locked", "secret");
        fs::permissions(dir / "locked", fs::perms::none);
        return (dir / "locked").string();
    }
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
        EXPECT_EQ(Field(IDC_SOURCE) + "|" + Field(IDC_TARGET) + "|" + Field(IDC_PASSWORD),
                  source + "|" + target + "|" + password);
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
    std::string In() const { return (dir / "in").string(); }
    std::string Out() const { return (dir / "out").string(); }
    std::string Existing() const { return (dir / "existing").string(); }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    CMainDlg main;
    TempDir dir;
    const fs::path oldDir = fs::current_path();
};

TEST_F(FilePanel, BlocksArePaddedToEightAndEachIsOneModuleCall) {
    // 13 bytes that were never encrypted: DECRYPT runs on them all the same.
    const std::vector<std::pair<std::size_t, std::vector<int>>> table = {
        {0, {}}, {1, {8}}, {512, {512}}, {513, {512, 8}}, {1024, {512, 512}}, {13, {16}}};
    for (const auto& [size, lengths] : table) {
        SCOPED_TRACE(size);
        const bool decrypt = size == 13;
        ClearRecordedCalls("DES.DLL");
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(decrypt ? IDC_FDECRYPT : IDC_FENCRYPT, In(), Out(), "key one");
        ExpectMessage(decrypt ? "Decryption successful finished!" : kEncrypted);
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
    UseModuleDir(RealModuleDir());
    for (std::size_t size : {513, 4109, 77}) {
        SCOPED_TRACE(size);
        WriteFile(In(), Pattern(size, unsigned(size)));
        Press(IDC_FENCRYPT, In(), "enc", "pass word");
        ExpectMessage(kEncrypted);
        Press(IDC_FDECRYPT, "enc", Out(), "pass word");
        ExpectMessage("Decryption successful finished!");
        EXPECT_EQ(ReadFile(Out()), Padded(ReadFile(In())));
    }
    // A wrong password decrypts all the same, to the same length.
    Press(IDC_FDECRYPT, "enc", Out(), "wrong");
    ExpectMessage("Decryption successful finished!");
    EXPECT_EQ(fs::file_size(Out()), fs::file_size("enc"));
    EXPECT_NE(ReadFile(Out()), Padded(ReadFile(In())));
}

TEST_F(FilePanel, RefusalsComeInOrderEachWithItsMessageAndChangeNothing) {
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    fs::create_symlink(dir / "gone", "dangling");
    fs::create_symlink("/dev/full", "to-full");
    fs::create_symlink(dir / "missing" / "x", "into-nothing");
    fs::create_symlink("loop", "loop");
    fs::create_symlink("ping", "pong");
    fs::create_symlink("pong", "ping");
    fs::create_directory("sub");
    fs::create_symlink(In(), "link");
    fs::create_hard_link(In(), "hard");
    const std::string long260(260 - dir.path().string().size() - 1, 'n'); // dir/long260: 260
    WriteFile(long260, "exists, but its path is too long");
    const std::string full260 = (dir / long260).string();
    const std::string beyond = (dir / std::string(255, 'f') / std::string(255, 'g')).string();
    std::vector<std::array<std::string, 4>> cases = {
        // The password comes first, then the source, then the target.
        {"missing", "nofolder/x", "", "Plase fill password!"},
        {"missing", "", " ", kNoSource}};
    // A FIFO with no writer must not hang; long260 is short, but its full path has 260.
    for (const std::string& source :
         std::vector<std::string>{"", "folder", "fifo", "in/x", full260, long260, beyond,
                                  "dangling", "loop", UnreadableFile(dir.path())})
        cases.push_back({source, Existing(), "pw", kNoSource});
    // Replacing a device by rename would put a file where the device node was; /proc and /sys
    // are read-only places; into-nothing points into a missing folder.
    for (const std::string& target : std::vector<std::string>{
             "", "/dev/full", "to-full", "/dev/null", "fifo", "folder", "in/x", "missing/x",
             "/proc/version", "/proc/quillmar-target", "/sys/quillmar-target", full260, long260,
             "into-nothing", "loop", (dir / "ping").string()})
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
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct Case {
        std::string module, source, message;
        bool fileError = false, sizeLimit = false;
    };
    const std::vector<Case> cases = {
        {"none", In(), "Could not get encryption dll!"},
        {"broken", In(), "Could not get encryption dll!"}, // a text file
        {"empty", In(), "FUNCTION load failed!"},          // neither entry
        // The real layer's second big write runs into the limit, part-way.
        {"recording", In(), "Disk full while accessing ", true, true},
        // Reading a process's memory at address 0 fails with EIO.
        {"recording", "/proc/self/mem",
         "A hardware I/O error was reported while accessing /proc/self/mem.", true},
    };
    const auto before = Snapshot(dir.path());
    for (const auto& c : cases) {
        UseModuleDir(FakeModuleDir(c.module));
        for (const std::string& target : {Existing(), Out()}) {
            for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
                SCOPED_TRACE(c.module + " -> " + target + " " + std::to_string(button));
                const rlimit limit{c.sizeLimit ? 300 << 10 : saved.rlim_cur, saved.rlim_max};
                ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
                Press(button, c.source, target);
                ::setrlimit(RLIMIT_FSIZE, &saved);
                ExpectMessage(c.message + (c.sizeLimit ? target + "." : ""),
                              c.fileError ? "Tessarine" : "",
                              c.fileError ? MsgIcon::Stop : MsgIcon::None);
                EXPECT_EQ(Snapshot(dir.path()), before);
            }
        }
    }
    std::signal(SIGXFSZ, oldHandler);
    // A module with only ENCRYPTFUNC encrypts, and answers DECRYPT with the entry message.
    UseModuleDir(FakeModuleDir("encrypt_only"));
    Press(IDC_FDECRYPT, In(), Existing());
    ExpectMessage("FUNCTION load failed!", "");
    EXPECT_EQ(Snapshot(dir.path()), before);
    Press(IDC_FENCRYPT, In(), Existing());
    ExpectMessage(kEncrypted);
    EXPECT_EQ(ReadFile(Existing()), Padded(ReadFile(In())));
}

TEST_F(FilePanel, DanglingLinksDevicesAndPathsJustShortEnoughWorkAsNamed) {
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
    works(In(), "abs-link", dir / "made-absolute", padded);
    works(In(), "sub/rel-link", dir / "made-relative", padded);
    works("/dev/null", Existing(), Existing(), ""); // an empty device as source
    works(In(), long259, long259, padded);
    works(long259, "back", dir / "back", padded);
    // The links stay links, pointing where they did.
    EXPECT_EQ(fs::read_symlink("abs-link"), dir / "made-absolute");
    EXPECT_EQ(fs::read_symlink(dir / "sub" / "rel-link"), "../made-relative");
}

TEST_F(FilePanel, AllFourChoosersShareOneRememberedPathApartFromTheTextPanel) {
    const std::string src = In(), tgt = Out();
    chooser.answers = {src, tgt, {}, {}, {}, {}, (dir / std::string(300, 'z')).string()};
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
    Click(panel(), IDC_MASK);
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    QApplication::clipboard()->setText("from clipboard");
    Click(panel(), IDC_GETCLIP);
    EXPECT_EQ(Field(IDC_PASSWORD), "from clipboard");
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    Press(IDC_FENCRYPT, In(), Out(), Field(IDC_PASSWORD)); // the text as it came
    ExpectMessage(kEncrypted);
    ASSERT_EQ(RecordedCalls("DES.DLL").size(), 2u);
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

TEST_F(FilePanel, CancelInTheProgressDialogLeavesTheTargetAsItWas) {
    UseModuleDir(RealModuleDir()); // the recording module would keep every block
    SetProgressDelay(0ms);
    FakeFiles big; // a known size, too big to be done before the cancel
    big.source.assign(std::size_t{16} << 20, 'x');
    big.realTarget = true;
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
            EXPECT_EQ(busyBar, !known);
            EXPECT_TRUE(modal);
            EXPECT_TRUE(recorder.messages.empty());
            EXPECT_EQ(VisibleProgressDialog(), nullptr);
            EXPECT_EQ(Snapshot(dir.path()), before);
        }
    }
    ::close(master);
    Press(IDC_FENCRYPT, In(), Existing()); // a cancel leaves nothing stuck
    ExpectMessage(kEncrypted);
}

TEST_F(FilePanel, TheLoopRunsOffTheWindowThreadAndClosingTheWindowCancelsIt) {
    UseModuleDir(RealModuleDir());
    FakeFiles files;
    files.source.assign(std::size_t{16} << 20, 'x');
    files.realTarget = true;
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

// The block loop on its own: what each module call sees, failures at any byte,
// cancelling, and what a replaced file keeps.
std::vector<std::pair<std::string, std::string>> g_calls; // each block, with its key
std::function<void()> g_afterCall;

// Records the call and flips every byte, so the output shows what was written.
void XorEntry(char* data, const char* key, std::int32_t length) {
    g_calls.emplace_back(std::string(data, std::size_t(length)), key);
    for (std::int32_t i = 0; i < length; ++i)
        data[i] = char(data[i] ^ 0x5a);
    if (g_afterCall)
        g_afterCall();
}

class BlockLoop : public ::testing::Test {
protected:
    BlockOutcome Run(const BlockControl& control = {}) {
        g_calls.clear();
        files.written.clear();
        files.committed = false;
        return RunBlockCipher("in", "out", password.c_str(), XorEntry, control, files);
    }
    FakeFiles files;
    std::string password = std::string(1000, 'k') + " Grüße";
};

TEST_F(BlockLoop, EachBlockIsPaddedWithZerosAndWrittenAsTheModuleLeftIt) {
    for (std::size_t size : {0, 1, 8, 13, 505, 512, 513, 1024, 1037}) {
        SCOPED_TRACE(size);
        files.source = Pattern(size, 5);
        ASSERT_EQ(Run().kind, BlockOutcome::Kind::Success);
        const std::string padded = Padded(files.source);
        std::string flipped(padded.size(), '\0');
        std::transform(padded.begin(), padded.end(), flipped.begin(),
                       [](char c) { return char(c ^ 0x5a); });
        EXPECT_EQ(files.written, flipped);
        EXPECT_TRUE(files.committed);
        ASSERT_EQ(g_calls.size(), (size + 511) / 512);
        for (std::size_t k = 0; k < g_calls.size(); ++k) // the key whole, with every block
            EXPECT_EQ(g_calls[k], std::pair(padded.substr(k * 512, 512), password));
    }
}

TEST_F(BlockLoop, ReadOrWriteErrorAnywhereEndsTheLoopAndNothingIsCommitted) {
    files.source = Pattern(3000, 6);
    for (std::uint64_t at : {0, 100, 512, 1536, 2999}) {
        for (bool reading : {true, false}) {
            SCOPED_TRACE(std::to_string(at) + (reading ? " read" : " write"));
            (reading ? files.readFailsAt : files.writeFailsAt) = at;
            const auto outcome = Run();
            (reading ? files.readFailsAt : files.writeFailsAt).reset();
            EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
            EXPECT_EQ(outcome.error.cause,
                      reading ? FileErrorCause::HardIO : FileErrorCause::DiskFull);
            EXPECT_EQ(outcome.error.path, fs::absolute(reading ? "in" : "out").string());
            EXPECT_EQ(g_calls.size(), at / 512 + (reading ? 0 : 1));
            EXPECT_FALSE(files.committed);
        }
    }
    files.commitFails = true;
    EXPECT_EQ(Run().kind, BlockOutcome::Kind::FileError);
    EXPECT_FALSE(files.committed);
}

TEST_F(BlockLoop, CancelStopsAfterTheCurrentBlockAndNothingIsCommitted) {
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    files.source = Pattern(5000, 7);
    g_afterCall = [&] { cancel = g_calls.size() == 3; };
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Cancelled);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(done.load(), 3u * 512);
    EXPECT_FALSE(files.committed);
    // After the last block the target still takes nothing.
    files.source = Pattern(700, 8);
    g_afterCall = [&] { cancel = g_calls.size() == 2; };
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Cancelled);
    EXPECT_FALSE(files.committed);
    g_afterCall = nullptr;
    cancel = false;
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Success);
    EXPECT_EQ(done.load(), 700u);
}

TEST(BlockFilesOnDisk, ReplacedTargetKeepsItsModeALinkStaysAndNewFilesFollowTheUmask) {
    TempDir dir;
    WriteFile(dir / "in", "0123456789");
    WriteFile(dir / "real", "old");
    fs::permissions(dir / "real", fs::perms(0640));
    fs::create_symlink("real", dir / "link");
    const auto run = [&](const char* target) {
        return RunBlockCipher((dir / "in").string(), (dir / target).string(), "pw", XorEntry, {},
                              PosixFileLayer())
            .kind;
    };
    ASSERT_EQ(run("link"), BlockOutcome::Kind::Success);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(fs::file_size(dir / "real"), 16u);
    EXPECT_EQ(fs::status(dir / "real").permissions(), fs::perms(0640));
    const mode_t old = ::umask(027);
    ASSERT_EQ(run("fresh"), BlockOutcome::Kind::Success);
    ::umask(old);
    EXPECT_EQ(fs::status(dir / "fresh").permissions(), fs::perms(0640));
}

} // namespace
