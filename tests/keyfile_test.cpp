// Key files: Save Key and Load Key through the panels with real files.
#include "FakeFiles.h"
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "res/Resource.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sys/stat.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;

namespace {

// A record built by hand, independently of the code under test.
std::string Record(const std::string& area, std::uint32_t length) {
    const std::string r = std::string("QXP\0", 4) + char(length) + char(length >> 8) +
                          char(length >> 16) + char(length >> 24) + area;
    return r + std::string(268 - r.size(), '\0');
}

struct KeyFiles : ::testing::Test {
    KeyFiles() { main.Create(nullptr); }
    CTextDlg& panel() { return main.TextPanel(); }
    std::string Field() { return panel().GetDlgItemText(IDC_PASSWORD); }
    // Presses Save Key or Load Key on a panel; the chooser then gives answer.
    void Press(CDialog& on, int button, std::optional<std::string> answer) {
        chooser.answers.push_back(std::move(answer));
        Click(on, button);
    }
    void Save(const std::string& password, std::optional<std::string> answer) {
        panel().SetDlgItemText(IDC_PASSWORD, password);
        Press(panel(), IDC_SAVEKEY, std::move(answer));
    }
    void Load(std::optional<std::string> answer) { Press(panel(), IDC_LOADKEY, std::move(answer)); }
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
    // How many files the folder holds: a temporary file left behind shows here.
    long Files() { return std::distance(fs::directory_iterator(dir.path()), {}); }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    TempDir dir;
    CMainDlg main;
};

TEST_F(KeyFiles, SaveThenLoadRestoresThePasswordExactlyAndTooLongOnesAreRefused) {
    const std::string key = (dir / "my.key").string();
    panel().SetDlgItemText(IDC_PASSWORD, std::string(256, 'p'));
    Click(panel(), IDC_SAVEKEY);
    EXPECT_EQ(Message(),
              "The password is longer than 255 bytes and cannot be stored in a key file.");
    EXPECT_TRUE(chooser.requests.empty()); // refused before a file is asked for
    // A module takes the password up to its first zero byte; so does the key file.
    for (const std::string& password :
         {std::string(), std::string("short"), std::string(255, 'z'),
          std::string("пароль ü 🙂 \t"), std::string("ab\0cd", 5)}) {
        SCOPED_TRACE(password);
        const std::string stored = password.substr(0, password.find('\0'));
        Save(password, key);
        EXPECT_EQ(Message(), "Password successful saved!");
        EXPECT_EQ(ReadFile(key), Record(stored, std::uint32_t(stored.size())));
        EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
        panel().SetDlgItemText(IDC_PASSWORD, "something else");
        Load(key);
        EXPECT_EQ(Message(), "Password succesful loaded!");
        EXPECT_EQ(Field(), stored);
    }
    EXPECT_TRUE(panel().IsMasked(IDC_PASSWORD));
    EXPECT_EQ(panel().GetDlgItemText(IDC_STATUS), "Ready to work.");
    EXPECT_EQ(Files(), 1);
}

TEST_F(KeyFiles, LoadReportsWhatTheFileHoldsAndWhatCannotBeOpened) {
    const std::string d = dir.path().string();
    for (const auto& [content, message, field] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"", "Can not read from the file!", "before"},
             {"QXP", "Password succesful loaded!", ""},
             {"QXPA", "This is not a QX password file!", "before"},
             {Record("abc", 99) + "ignored", "Password succesful loaded!", "abc"},
             // An area with no zero byte ends with the record, not in the reserved bytes.
             {Record(std::string(256, 'k'), 0).replace(264, 4, "RRRR") + "beyond",
              "Password succesful loaded!", std::string(256, 'k')},
             {Record("caf\xE9", 4),
              "The password in this key file cannot be shown unchanged in the password field, "
              "so it was not loaded.",
              "before"}}) {
        SCOPED_TRACE(content);
        WriteFile(dir / "k", content);
        panel().SetDlgItemText(IDC_PASSWORD, "before");
        Load(d + "/k");
        EXPECT_EQ(Message(), message);
        EXPECT_EQ(Field(), field);
    }

    WriteFile(dir / "plain", "QXP");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    Load(d + "/missing.key"); // Save Key would make it
    EXPECT_EQ(Message(MsgIcon::Stop), d + "/missing.key was not found.");
    for (const auto& [name, sentence] : std::vector<std::pair<std::string, std::string>>{
             {"/nowhere/key", " was not found."},
             {"/plain/key", " was not found."},
             {"/folder", " contains an invalid path."}}) {
        Load(d + name);
        EXPECT_EQ(Message(MsgIcon::Stop), d + name + sentence);
        Save("kept", d + name);
        EXPECT_EQ(Message(MsgIcon::Stop), d + name + sentence);
    }
    Load(d + "/pipe"); // with no writer: must not hang the window
    EXPECT_EQ(Message(), "Can not read from the file!");
    FakeFiles failing(Record("abc", 3));
    failing.readFailsAt = 0;
    SetFileLayer(&failing);
    Load(d + "/plain");
    SetFileLayer(nullptr);
    EXPECT_EQ(Message(MsgIcon::Stop),
              "A hardware I/O error was reported while accessing " + d + "/plain.");
    EXPECT_EQ(Field(), "kept");
    EXPECT_EQ(ReadFile(dir / "plain"), "QXP");
    EXPECT_EQ(Files(), 4); // k, plain, folder and pipe
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

// A save that fails part way leaves the old file as it was; saving through a link replaces the
// file it names, owner-only.
TEST_F(KeyFiles, SaveReplacesTheLinkedFileWholeOrNotAtAll) {
    const fs::path key = dir / "old.key", link = dir / "link.key";
    WriteFile(key, std::string(1000, 'o')); // longer than a record: no old tail may remain
    fs::permissions(key, fs::perms(0640));
    fs::create_symlink(key, link);
    // The real writer, failing after 100 of the record's 268 bytes.
    FakeFiles failing("", true);
    failing.writeFailsAt = 100;
    SetFileLayer(&failing);
    Save("new password", key.string());
    SetFileLayer(nullptr);
    EXPECT_EQ(Message(MsgIcon::Stop), "Disk full while accessing " + key.string() + ".");
    EXPECT_EQ(ReadFile(key), std::string(1000, 'o'));
    EXPECT_EQ(fs::status(key).permissions(), fs::perms(0640));
    EXPECT_EQ(Files(), 2);

    Save("pw", link.string());
    EXPECT_EQ(Message(), "Password successful saved!");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(key), Record("pw", 2));
    EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
    EXPECT_EQ(Files(), 2);
}

TEST_F(KeyFiles, EachPanelRemembersItsOwnLastChoiceAndACancelForgetsIt) {
    const std::string a = (dir / "a.key").string(), b = (dir / "b.key").string();
    CFPDlg& file = main.FilePanel();
    Save("text pw", a);
    file.SetDlgItemText(IDC_PASSWORD, "file pw");
    Press(file, IDC_SAVEKEY, b);
    Load(std::nullopt); // offered a, then cancelled
    file.SetDlgItemText(IDC_PASSWORD, "");
    Press(file, IDC_LOADKEY, b); // offered b
    Load(std::nullopt);          // offered nothing

    ASSERT_EQ(chooser.requests.size(), 5u);
    const std::vector<std::string> offered = {"", "", a, b, ""};
    for (std::size_t i = 0; i < offered.size(); ++i) {
        EXPECT_EQ(chooser.requests[i].initialPath, offered[i]) << i;
        EXPECT_EQ(chooser.requests[i].title, "Please select file:");
        EXPECT_FALSE(chooser.requests[i].fileMustExist);
    }
    EXPECT_EQ(chooser.requests[1].owner, &file);
    ASSERT_EQ(recorder.messages.size(), 3u); // a cancel says nothing
    EXPECT_EQ(recorder.messages[2].owner, &file);
    EXPECT_EQ(Field(), "text pw");
    EXPECT_EQ(file.GetDlgItemText(IDC_PASSWORD), "file pw");
}

TEST_F(KeyFiles, ChosenPathIsMadeFullAndOneTooLongCountsAsCancel) {
    const fs::path home = fs::current_path();
    fs::current_path(dir.path());
    Save("pw", "rel.key");
    fs::current_path(home);
    EXPECT_EQ(Message(), "Password successful saved!");
    EXPECT_EQ(panel().RememberedPath(), (dir / "rel.key").string());
    // 259 characters is the longest path that can be opened.
    const std::string d = dir.path().string() + "/", name(259 - d.size(), 'n');
    Save("pw", d + name);
    EXPECT_EQ(Message(), "Password successful saved!");
    Save("pw", d + name + "n");
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(panel().RememberedPath(), "");
    EXPECT_EQ(Files(), 2);
}

} // namespace
