// Key files: the record itself, and Save Key / Load Key through the panels
// with real files.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "crypto/KeyFile.h"
#include "crypto/KeyFileHandlers.h"
#include "res/Resource.h"
#include "res/Strings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;

namespace {

// A record built by hand, independently of the code under test.
std::string Record(const std::string& area, std::uint32_t length) {
    std::string r("QXP\0", 4);
    for (int i = 0; i < 4; ++i)
        r += char((length >> (8 * i)) & 0xFF);
    return (r + area).append(268 - 8 - area.size(), '\0');
}

TEST(KeyRecord, HoldsAtMost255BytesAndIsNeverReadPastItsEnd) {
    KeyRecord r;
    ASSERT_TRUE(MakeKeyRecord(std::string(255, 'x'), r));
    EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.end()), Record(std::string(255, 'x'), 255));
    // A module takes the password up to its first zero byte; so does the record.
    ASSERT_TRUE(MakeKeyRecord(std::string("ab\0cd", 5), r));
    EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.end()), Record("ab", 2));
    EXPECT_FALSE(MakeKeyRecord(std::string(256, 'x'), r));
    EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.end()), std::string(268, '\0'));

    std::string file = Record(std::string(256, 'k'), 0).replace(264, 4, "RRRR") + "beyond";
    std::string password;
    EXPECT_EQ(
        ReadKeyRecord({reinterpret_cast<const unsigned char*>(file.data()), file.size()}, password),
        KeyReadResult::Ok);
    EXPECT_EQ(password, std::string(256, 'k'));
}

class KeyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
    }
    CTextDlg& panel() { return main.TextPanel(); }
    std::string Field() { return panel().GetDlgItemText(IDC_PASSWORD); }
    void Save(const std::string& password, std::optional<std::string> answer) {
        panel().SetDlgItemText(IDC_PASSWORD, password);
        chooser.answers.push_back(std::move(answer));
        Click(panel(), IDC_SAVEKEY);
    }
    void Load(std::optional<std::string> answer) {
        chooser.answers.push_back(std::move(answer));
        Click(panel(), IDC_LOADKEY);
    }
    // The one message shown since the last call; always titled with the application's name.
    std::string Message(MsgIcon icon = MsgIcon::None) {
        auto shown = std::exchange(recorder.messages, {});
        if (shown.size() != 1)
            return std::to_string(shown.size()) + " messages";
        EXPECT_EQ(shown[0].caption, "Tessarine");
        EXPECT_EQ(shown[0].icon, icon);
        EXPECT_EQ(shown[0].owner, &panel());
        return shown[0].text;
    }
    std::set<std::string> Entries() {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.insert(e.path().filename().string());
        return names;
    }
    static mode_t Mode(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    TempDir dir;
    CMainDlg main;
};

TEST_F(KeyFiles, SaveThenLoadRestoresThePasswordExactly) {
    const std::string key = (dir / "my.key").string();
    for (const std::string& password : {std::string(), std::string("short"), std::string(255, 'z'),
                                        std::string("пароль ü 🙂 \t")}) {
        SCOPED_TRACE(password);
        Save(password, key);
        EXPECT_EQ(Message(), "Password successful saved!");
        EXPECT_EQ(ReadFile(key), Record(password, std::uint32_t(password.size())));
        EXPECT_EQ(Mode(key), 0600u);
        panel().SetDlgItemText(IDC_PASSWORD, "something else");
        Load(key);
        EXPECT_EQ(Message(), "Password succesful loaded!");
        EXPECT_EQ(Field(), password);
    }
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    EXPECT_EQ(panel().GetDlgItemText(IDC_STATUS), "Ready to work.");
    EXPECT_EQ(Entries(), std::set<std::string>{"my.key"});
}

TEST_F(KeyFiles, PasswordTooLongForTheRecordIsRefusedBeforeAnyFile) {
    Save(std::string(256, 'p'), (dir / "long.key").string());
    EXPECT_EQ(Message(),
              "The password is longer than 255 bytes and cannot be stored in a key file.");
    EXPECT_TRUE(chooser.requests.empty());
    EXPECT_TRUE(Entries().empty());
}

TEST_F(KeyFiles, SaveReplacesAnExistingFileOwnerOnlyThroughItsLink) {
    WriteFile(dir / "real.key", std::string(1000, 'o'));
    fs::permissions(dir / "real.key", fs::perms(0644));
    fs::create_symlink(dir / "real.key", dir / "link.key");
    Save("pw", (dir / "link.key").string());
    EXPECT_EQ(Message(), "Password successful saved!");
    EXPECT_TRUE(fs::is_symlink(dir / "link.key"));
    EXPECT_EQ(ReadFile(dir / "real.key"), Record("pw", 2));
    EXPECT_EQ(Mode(dir / "real.key"), 0600u);
    EXPECT_EQ(Entries(), (std::set<std::string>{"link.key", "real.key"}));
}

TEST_F(KeyFiles, LoadReportsWhatTheFileHolds) {
    const struct {
        std::string content;
        const char* message;
        std::string field; // afterwards
    } cases[] = {
        {"", "Can not read from the file!", "before"},
        {"QXP", "Password succesful loaded!", ""},
        {"QXPA", "This is not a QX password file!", "before"},
        {Record("abc", 99) + "ignored", "Password succesful loaded!", "abc"},
        {Record("caf\xE9", 4), str::kKeyNotLoadable, "before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        WriteFile(dir / "k", c.content);
        panel().SetDlgItemText(IDC_PASSWORD, "before");
        Load((dir / "k").string());
        EXPECT_EQ(Message(), c.message);
        EXPECT_EQ(Field(), c.field);
    }
    EXPECT_EQ(std::string(str::kKeyNotLoadable),
              "The password in this key file cannot be shown unchanged in the password field, so "
              "it was not loaded.");
}

TEST_F(KeyFiles, FilesThatCannotBeOpenedOrReadAreReported) {
    WriteFile(dir / "plain", "QXP");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const std::string d = dir.path().string();
    panel().SetDlgItemText(IDC_PASSWORD, "kept");
    for (const std::string name : {"/missing.key", "/nowhere/key", "/plain/key"}) {
        Load(d + name);
        EXPECT_EQ(Message(MsgIcon::Stop), d + name + " was not found.");
        if (name == "/missing.key")
            continue; // a new file is what Save Key makes
        Save("kept", d + name);
        EXPECT_EQ(Message(MsgIcon::Stop), d + name + " was not found.");
    }
    Load(d + "/folder");
    EXPECT_EQ(Message(MsgIcon::Stop), d + "/folder contains an invalid path.");
    Save("kept", d + "/folder");
    EXPECT_EQ(Message(MsgIcon::Stop), d + "/folder contains an invalid path.");
    Load(d + "/pipe"); // with no writer: must not hang the window
    EXPECT_EQ(Message(), "Can not read from the file!");

    EXPECT_EQ(Field(), "kept");
    EXPECT_EQ(ReadFile(dir / "plain"), "QXP");
    EXPECT_EQ(Entries(), (std::set<std::string>{"folder", "pipe", "plain"}));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

TEST_F(KeyFiles, SaveThatFailsPartWayLeavesTheOldKeyFileAsItWas) {
    const fs::path key = dir / "old.key";
    WriteFile(key, Record("old password", 12));
    fs::permissions(key, fs::perms(0640));
    // A file-size limit stops the write after 100 of its 268 bytes.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Save("new password", key.string());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(Message(MsgIcon::Stop), "Disk full while accessing " + key.string() + ".");
    EXPECT_EQ(ReadFile(key), Record("old password", 12));
    EXPECT_EQ(Mode(key), 0640u);
    EXPECT_EQ(Entries(), std::set<std::string>{"old.key"});
}

TEST_F(KeyFiles, EachPanelRemembersItsOwnLastChoice) {
    const std::string a = (dir / "a.key").string(), b = (dir / "b.key").string();
    CFPDlg& file = main.FilePanel();
    Save("text pw", a);
    file.SetDlgItemText(IDC_PASSWORD, "file pw");
    chooser.answers.push_back(b);
    SaveKeyFromField(file, IDC_PASSWORD, file.RememberedPath());
    Load(std::nullopt); // offered a, then cancelled
    file.SetDlgItemText(IDC_PASSWORD, "");
    chooser.answers.push_back(b);
    LoadKeyIntoField(file, IDC_PASSWORD, file.RememberedPath()); // offered b
    Load(std::nullopt);                                          // offered nothing

    ASSERT_EQ(chooser.requests.size(), 5u);
    const std::vector<std::string> offered = {"", "", a, b, ""};
    for (std::size_t i = 0; i < offered.size(); ++i) {
        EXPECT_EQ(chooser.requests[i].initialPath, offered[i]) << i;
        EXPECT_EQ(chooser.requests[i].title, "Please select file:");
        EXPECT_FALSE(chooser.requests[i].fileMustExist);
    }
    EXPECT_EQ(chooser.requests[1].owner, &file);
    EXPECT_EQ(recorder.messages.size(), 3u); // a cancel says nothing
    EXPECT_EQ(recorder.messages[2].owner, &file);
    EXPECT_EQ(panel().RememberedPath(), "");
    EXPECT_EQ(file.RememberedPath(), b);
    EXPECT_EQ(Field(), "text pw");
    EXPECT_EQ(file.GetDlgItemText(IDC_PASSWORD), "file pw");
}

TEST_F(KeyFiles, ChosenPathIsMadeFullAndOneTooLongCountsAsCancel) {
    struct BackHome {
        fs::path was = fs::current_path();
        ~BackHome() { fs::current_path(was); }
    } home;
    fs::current_path(dir.path());
    Save("pw", "rel.key");
    EXPECT_EQ(Message(), "Password successful saved!");
    EXPECT_EQ(panel().RememberedPath(), (dir / "rel.key").string());
    // 259 characters is the longest path that can be opened.
    const std::string d = dir.path().string() + "/", name(259 - d.size(), 'n');
    Save("pw", d + name);
    EXPECT_EQ(Message(), "Password successful saved!");
    Save("pw", d + name + "n");
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(panel().RememberedPath(), "");
    EXPECT_EQ(Entries(), (std::set<std::string>{name, "rel.key"}));
}

} // namespace
