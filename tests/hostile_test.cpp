// Hostile and broken inputs in the file panel: odd sources and targets, bad
// modules, a disk that fills up, devices that never end. Each gives its clear
// message and leaves the target folder exactly as it was.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "file/BlockCipher.h"
#include "file_fakes.h"
#include "platform/ProgressRunner.h"
#include "res/Resource.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
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

std::string Pattern(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(gen());
    return s;
}

// Everything under a folder: each entry with its content, link or kind.
// Links are not followed: some lead round in a circle.
void Snapshot(const fs::path& dir, const std::string& prefix,
              std::map<std::string, std::string>& entries) {
    for (const auto& e : fs::directory_iterator(dir)) {
        const auto status = fs::symlink_status(e.path());
        const std::string name = prefix + e.path().filename().string();
        std::string what = "other";
        if (fs::is_symlink(status)) {
            what = "link to " + fs::read_symlink(e.path()).string();
        } else if (fs::is_regular_file(status)) {
            what = "file of " + std::to_string(fs::file_size(e.path())) + " bytes, hash " +
                   std::to_string(std::hash<std::string>()(ReadFile(e.path())));
        } else if (fs::is_directory(status)) {
            what = "folder";
            Snapshot(e.path(), name + "/", entries);
        }
        entries[name] = what;
    }
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    Snapshot(dir, "", entries);
    return entries;
}

// A name that makes dir/name exactly length characters long.
std::string NameForLength(const fs::path& dir, std::size_t length) {
    return std::string(length - dir.string().size() - 1, 'n');
}

// A file that even root may not open for reading, or nothing.
std::optional<std::string> UnreadableFile(const fs::path& dir) {
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
            return std::string(path);
    }
    return std::nullopt;
}

class CurrentDir {
public:
    explicit CurrentDir(const fs::path& dir) : m_old(fs::current_path()) { fs::current_path(dir); }
    ~CurrentDir() { fs::current_path(m_old); }

private:
    fs::path m_old;
};

// Runs action from the event loop once ready() holds; polling, no sleeping.
std::unique_ptr<QTimer> WhenReady(std::function<bool()> ready, std::function<void()> action) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [t = timer.get(), ready, action] {
        if (ready()) {
            t->stop();
            action();
        }
    });
    timer->start(5);
    return timer;
}

QProgressDialog* VisibleProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        Click(main, IDC_FILE);
        WriteFile(In(), Pattern(1000, 1));
        WriteFile(Existing(), "keep me");
        UseModuleDir(FakeModuleDir("recording"));
        ClearRecordedCalls("DES.DLL");
    }
    void TearDown() override {
        UseModuleDir(RealModuleDir());
        SetProgressDelay(500ms);
    }
    CFPDlg& panel() { return main.FilePanel(); }
    void Press(int button, const std::string& source, const std::string& target) {
        panel().SetDlgItemText(IDC_SOURCE, source);
        panel().SetDlgItemText(IDC_TARGET, target);
        panel().SetDlgItemText(IDC_PASSWORD, "pw");
        Click(panel(), button);
    }
    // Exactly one message since the last look, and never a success.
    void ExpectMessage(const std::string& text, const std::string& caption = "Tessarine",
                       MsgIcon icon = MsgIcon::None) {
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(recorder.messages[0].caption, caption);
        EXPECT_EQ(recorder.messages[0].icon, icon);
        recorder.messages.clear();
    }
    std::string In() const { return (dir / "in").string(); }
    std::string Existing() const { return (dir / "existing").string(); }

    MessageRecorder recorder;
    CMainDlg main;
    TempDir dir;
};

TEST_F(Hostile, SourcesThatCannotBeReadAreRefusedBeforeAnythingIsWritten) {
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "gone", dir / "dangling");
    fs::create_symlink("loop", dir / "loop");
    const std::string long260 = NameForLength(dir.path(), 260);
    WriteFile(dir / long260, "exists, but its path is too long");
    CurrentDir cwd(dir.path()); // relative paths below are short, their full paths are not

    std::vector<std::pair<std::string, std::string>> sources = {
        {"a folder", (dir / "folder").string()},
        {"a FIFO with no writer: must not hang", (dir / "fifo").string()},
        {"a path through a regular file", In() + "/x"},
        {"a full path of 260 characters", (dir / long260).string()},
        {"a relative path whose full path has 260", long260},
        {"a path far beyond 260", (dir / std::string(255, 'f') / std::string(255, 'g')).string()},
        {"a dangling symlink", (dir / "dangling").string()},
        {"a symlink to itself", "loop"},
    };
    if (const auto unreadable = UnreadableFile(dir.path()))
        sources.push_back({"a file nobody may read", *unreadable});
    else
        ADD_FAILURE() << "no file that cannot be read was found on this machine";

    const auto before = Snapshot(dir.path());
    for (const auto& [what, source] : sources) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(what + ", button " + std::to_string(button));
            Press(button, source, Existing());
            ExpectMessage(kNoSource);
            Press(button, source, "new");
            ExpectMessage(kNoSource);
        }
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_TRUE(RecordedCalls("DES.DLL").empty());
}

TEST_F(Hostile, TargetsThatCannotBeReplacedAreRefusedAndLeftAlone) {
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/full", dir / "to-full");
    fs::create_symlink(dir / "missing" / "x", dir / "into-nothing");
    fs::create_symlink("loop", dir / "loop");
    fs::create_symlink("ping", dir / "pong");
    fs::create_symlink("pong", dir / "ping");
    const std::string long260 = NameForLength(dir.path(), 260);
    WriteFile(dir / long260, "keep me too");
    CurrentDir cwd(dir.path());

    const std::vector<std::pair<std::string, std::string>> targets = {
        // Replacing a device by rename would put a file where the device node was.
        {"a full device", "/dev/full"},
        {"a symlink to a full device", (dir / "to-full").string()},
        {"a device that discards", "/dev/null"},
        {"a FIFO", (dir / "fifo").string()},
        {"a folder", (dir / "folder").string()},
        {"in a folder that is a regular file", In() + "/x"},
        {"in a missing folder", (dir / "missing" / "x").string()},
        {"an existing file in a read-only folder", "/proc/version"},
        {"a new file in a read-only folder", "/proc/quillmar-target"},
        {"a new file where nothing may be created", "/sys/quillmar-target"},
        {"an existing file with a full path of 260", (dir / long260).string()},
        {"a relative path whose full path has 260", long260},
        {"a dangling symlink into a missing folder", (dir / "into-nothing").string()},
        {"a symlink to itself", "loop"},
        {"two symlinks to each other", (dir / "ping").string()},
    };

    struct stat full {};
    ASSERT_EQ(::stat("/dev/full", &full), 0);
    const std::string version = ReadFile("/proc/version");
    const auto before = Snapshot(dir.path());
    for (const auto& [what, target] : targets) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(what + ", button " + std::to_string(button));
            Press(button, In(), target);
            ExpectMessage(kNoTarget);
        }
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_TRUE(RecordedCalls("DES.DLL").empty());
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, full.st_rdev);
    EXPECT_EQ(after.st_ino, full.st_ino);
    EXPECT_EQ(ReadFile("/proc/version"), version);
    EXPECT_FALSE(fs::exists("/proc/quillmar-target"));
    EXPECT_FALSE(fs::exists("/sys/quillmar-target"));
}

TEST_F(Hostile, DanglingLinksDevicesAndPathsJustShortEnoughWorkAsNamed) {
    fs::create_symlink(dir / "made-absolute", dir / "abs-link");
    fs::create_directory(dir / "sub");
    fs::create_symlink("../made-relative", dir / "sub" / "rel-link");
    const std::string long259 = (dir / NameForLength(dir.path(), 259)).string();
    const std::string padded = [&] {
        std::string s = ReadFile(In());
        s.resize(PaddedLength(s.size()), '\0'); // the recording module changes nothing
        return s;
    }();

    struct Case {
        std::string what, source, target;
        fs::path written;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"a dangling symlink as target", In(), (dir / "abs-link").string(), dir / "made-absolute",
         padded},
        {"a relative dangling symlink as target", In(), (dir / "sub" / "rel-link").string(),
         dir / "made-relative", padded},
        {"an empty device as source", "/dev/null", Existing(), Existing(), ""},
        {"a target path of 259 characters", In(), long259, long259, padded},
        {"a source path of 259 characters", long259, (dir / "back").string(), dir / "back", padded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Press(IDC_FENCRYPT, c.source, c.target);
        ExpectMessage("Encryption successful finished!");
        EXPECT_EQ(ReadFile(c.written), c.content);
    }
    // The links stay links, pointing where they did.
    EXPECT_EQ(fs::read_symlink(dir / "abs-link"), dir / "made-absolute");
    EXPECT_EQ(fs::read_symlink(dir / "sub" / "rel-link"), "../made-relative");
}

TEST_F(Hostile, FailuresAfterTheTargetIsOpenedLeaveTheFolderAsItWas) {
    WriteFile(In(), Pattern(600 << 10, 2));
    FakeFiles injected;
    injected.source = Pattern(5000, 3);
    injected.realTarget = true;
    injected.writeFailsAt = 1500;
    std::optional<UseFileLayer> useInjected;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    using SignalHandler = void (*)(int);
    SignalHandler oldHandler = SIG_DFL;

    const auto diskFull = [](const std::string& target) {
        return "Disk full while accessing " + target + ".";
    };
    struct Case {
        std::string what, source;
        std::function<void()> arrange, restore;
        std::function<std::string(const std::string& target)> message;
        std::string caption;
        MsgIcon icon;
    };
    const std::vector<Case> cases = {
        {"a module that is a text file", In(), [] { UseModuleDir(FakeModuleDir("broken")); },
         [] { UseModuleDir(FakeModuleDir("recording")); },
         [](const std::string&) { return "Could not get encryption dll!"; }, "", MsgIcon::None},
        {"a module with neither entry", In(), [] { UseModuleDir(FakeModuleDir("empty")); },
         [] { UseModuleDir(FakeModuleDir("recording")); },
         [](const std::string&) { return "FUNCTION load failed!"; }, "", MsgIcon::None},
        {"a disk that fills up after 1500 bytes", "in", [&] { useInjected.emplace(injected); },
         [&] { useInjected.reset(); }, diskFull, "Tessarine", MsgIcon::Stop},
        // The real layer: its second big write runs into the limit, part-way.
        {"a file-size limit of 300 KiB", In(),
         [&] {
             oldHandler = std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = saved;
             small.rlim_cur = 300 << 10;
             ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &saved);
             std::signal(SIGXFSZ, oldHandler);
         },
         diskFull, "Tessarine", MsgIcon::Stop},
        {"a source that fails to read", "/proc/self/mem", [] {}, [] {},
         [](const std::string&) {
             return "A hardware I/O error was reported while accessing /proc/self/mem.";
         },
         "Tessarine", MsgIcon::Stop},
    };

    const auto before = Snapshot(dir.path());
    for (const auto& c : cases) {
        for (const std::string& target : {Existing(), (dir / "new").string()}) {
            for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
                SCOPED_TRACE(c.what + " -> " + target + ", button " + std::to_string(button));
                c.arrange();
                Press(button, c.source, target);
                c.restore();
                ExpectMessage(c.message(target), c.caption, c.icon);
                EXPECT_EQ(Snapshot(dir.path()), before);
            }
        }
    }
}

TEST_F(Hostile, EndlessAndSilentDevicesRunUntilCancelled) {
    UseModuleDir(RealModuleDir()); // the recording module would keep every block
    SetProgressDelay(0ms);
    // A terminal with nobody typing: its reads wait for ever.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::vector<std::pair<std::string, bool>> devices = {{"/dev/zero", true}};
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
        devices.push_back({::ptsname(master), false});
    else
        ADD_FAILURE() << "no pseudo-terminal on this machine";

    const QRegularExpression label("^(En|De)crypting the file: (\\d+) bytes done\\.$");
    const auto before = Snapshot(dir.path());
    for (const auto& [device, endless] : devices) {
        for (int button : {IDC_FENCRYPT, IDC_FDECRYPT}) {
            SCOPED_TRACE(device + ", button " + std::to_string(button));
            QString shown;
            bool busyBar = false, modal = false;
            // Endless: cancel once bytes have gone through; silent: once the dialog shows.
            const auto ready = [&, endless = endless] {
                QProgressDialog* d = VisibleProgressDialog();
                if (!d)
                    return false;
                const auto m = label.match(d->labelText());
                return !endless || (m.hasMatch() && m.captured(2).toULongLong() > 0);
            };
            const auto cancel = [&] {
                QProgressDialog* d = VisibleProgressDialog();
                shown = d->labelText();
                busyBar = d->minimum() == 0 && d->maximum() == 0;
                modal = d->isModal();
                d->findChild<QPushButton*>()->click();
            };
            const auto timer = WhenReady(ready, cancel);
            Press(button, device, Existing());
            EXPECT_TRUE(label.match(shown).hasMatch()) << shown.toStdString();
            EXPECT_TRUE(busyBar) << "a device's size is unknown";
            EXPECT_TRUE(modal);
            EXPECT_TRUE(recorder.messages.empty());
            recorder.messages.clear();
            EXPECT_EQ(VisibleProgressDialog(), nullptr);
            EXPECT_EQ(Snapshot(dir.path()), before);
        }
    }
    if (master >= 0)
        ::close(master);
}

} // namespace
