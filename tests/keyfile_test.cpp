// Key files: Save Key and Load Key through the panels with real files, and
// the choosers every panel shares.
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

const std::string kSaved = "Password successful saved!", kLoaded = "Password succesful loaded!";

struct KeyFiles : ::testing::Test {
    KeyFiles() { main.Create(nullptr); }
    CTextDlg& Panel() { return main.TextPanel(); }
    std::string Field() { return Panel().GetDlgItemText(IDC_PASSWORD); }
    // Presses a button of a panel; the chooser then gives answer.
    void Press(CDialog& on, int button, std::optional<std::string> answer) {
        chooser.answers.push_back(std::move(answer));
        Click(on, button);
    }
    void Save(const std::string& password, std::optional<std::string> answer) {
        Panel().SetDlgItemText(IDC_PASSWORD, password);
        Press(Panel(), IDC_SAVEKEY, std::move(answer));
    }
    void Load(std::optional<std::string> answer) { Press(Panel(), IDC_LOADKEY, std::move(answer)); }
    // The one message shown since the last call; always titled with the application's name.
    std::string Message(MsgIcon icon = MsgIcon::None) {
        auto shown = std::exchange(recorder.messages, {});
        if (shown.size() != 1)
            return std::to_string(shown.size()) + " messages";
        EXPECT_EQ(shown[0].caption, "Tessarine");
        EXPECT_EQ(shown[0].icon, icon);
        EXPECT_EQ(shown[0].owner, &Panel());
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
    Panel().SetDlgItemText(IDC_PASSWORD, std::string(256, 'p'));
    Click(Panel(), IDC_SAVEKEY);
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
        EXPECT_EQ(Message(), kSaved);
        EXPECT_EQ(ReadFile(key), Record(stored, std::uint32_t(stored.size())));
        EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
        Panel().SetDlgItemText(IDC_PASSWORD, "something else");
        Load(key);
        EXPECT_EQ(Message(), kLoaded);
        EXPECT_EQ(Field(), stored);
    }
    EXPECT_TRUE(Panel().IsMasked(IDC_PASSWORD));
    EXPECT_EQ(Panel().GetDlgItemText(IDC_STATUS), "Ready to work.");
    EXPECT_EQ(Files(), 1);
}

TEST_F(KeyFiles, LoadSaysWhatAFileHoldsOrWhyItCannotBeReadAndChangesNothingElse) {
    const std::string d = dir.path().string() + "/", kUnreadable = "Can not read from the file!";
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    // The file's name, what it holds (nothing: left as it is), the message and the field after.
    // A message about the file names it where "%" stands, with a stop sign; Save Key fails alike.
    const std::vector<std::tuple<std::string, std::optional<std::string>, std::string, std::string>>
        cases = {
            {"empty", "", kUnreadable, "before"},
            {"short", "QXP", kLoaded, ""},
            {"other", "QXPA", "This is not a QX password file!", "before"},
            {"long", Record("abc", 99) + "ignored", kLoaded, "abc"},
            // An area with no zero byte ends with the record, not in the reserved bytes.
            {"full", Record(std::string(256, 'k'), 0).replace(264, 4, "RRRR") + "beyond", kLoaded,
             std::string(256, 'k')},
            {"latin1", Record("caf\xE9", 4),
             "The password in this key file cannot be shown unchanged in the password field, so "
             "it was not loaded.",
             "before"},
            {"pipe", {}, kUnreadable, "before"}, // with no writer: must not hang the window
            {"missing/key", {}, "% was not found.", "before"},
            {"short/key", {}, "% was not found.", "before"},
            {"folder", {}, "% contains an invalid path.", "before"},
        };
    for (const auto& [name, content, message, field] : cases)
        if (content)
            WriteFile(dir / name, *content);
    const auto before = Snapshot(dir.path());
    for (auto [name, content, message, field] : cases) {
        SCOPED_TRACE(name);
        const auto at = message.find('%');
        const MsgIcon icon = at == std::string::npos ? MsgIcon::None : MsgIcon::Stop;
        if (icon == MsgIcon::Stop)
            message.replace(at, 1, d + name);
        Panel().SetDlgItemText(IDC_PASSWORD, "before");
        Load(d + name);
        EXPECT_EQ(Message(icon) + "|" + Field(), message + "|" + field);
        if (icon == MsgIcon::Stop) {
            Save("before", d + name);
            EXPECT_EQ(Message(icon), message);
        }
    }
    FakeFiles failing(Record("abc", 3)); // a read that fails
    failing.readFailsAt = 0;
    SetFileLayer(&failing);
    Load(d + "long");
    SetFileLayer(nullptr);
    EXPECT_EQ(Message(MsgIcon::Stop) + "|" + Field(),
              "A hardware I/O error was reported while accessing " + d + "long.|before");
    EXPECT_EQ(Snapshot(dir.path()), before);
}

// A save that fails part way leaves the old file as it was; saving through a link replaces the
// file it names, owner-only.
TEST_F(KeyFiles, SaveReplacesTheLinkedFileWholeOrNotAtAll) {
    const fs::path key = dir / "old.key", link = dir / "link.key";
    WriteFile(key, std::string(1000, 'o')); // longer than a record: no old tail may remain
    fs::permissions(key, fs::perms(0640));
    fs::create_symlink(key, link);
    const auto before = Snapshot(dir.path());
    FakeFiles failing("", true); // the real writer, failing after 100 of the record's 268 bytes
    failing.writeFailsAt = 100;
    SetFileLayer(&failing);
    Save("new password", link.string());
    SetFileLayer(nullptr);
    EXPECT_EQ(Message(MsgIcon::Stop), "Disk full while accessing " + link.string() + ".");
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(fs::status(key).permissions(), fs::perms(0640));

    Save("pw", link.string());
    EXPECT_EQ(Message(), kSaved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(key), Record("pw", 2));
    EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
    EXPECT_EQ(Files(), 2);
}

// Every chooser of a panel offers that panel's last choice, made full; a cancel, or a path too
// long to open, forgets it. The two panels remember apart.
TEST_F(KeyFiles, EachPanelsChoosersShareItsLastChoiceAndACancelForgetsIt) {
    const std::string d = dir.path().string() + "/", a = d + "a.key", b = d + "b.key";
    const std::string longest = d + std::string(259 - d.size(), 'n'); // the longest that opens
    CTextDlg& text = Panel();
    CFPDlg& file = main.FilePanel();
    text.SetDlgItemText(IDC_PASSWORD, "text pw");
    file.SetDlgItemText(IDC_PASSWORD, "file pw");
    // Panel, button and the chooser's answer; then what it had to offer, and whether the file
    // had to exist.
    using Step = std::tuple<CDialog*, int, std::optional<std::string>, std::string, bool>;
    const std::vector<Step> steps = {
        {&text, IDC_SAVEKEY, "a.key", "", false}, // relative: saved as a
        {&file, IDC_SAVEKEY, b, "", false},
        {&file, IDC_BROWSESRC, a, b, true},
        {&file, IDC_BROWSETGT, {}, a, false}, // a cancel empties the target field...
        {&file, IDC_BROWSESRC, {}, "", true}, // ...but not the source field
        {&file, IDC_LOADKEY, b, "", false},
        {&text, IDC_LOADKEY, {}, a, false},
        {&text, IDC_SAVEKEY, longest, "", false},
        {&text, IDC_SAVEKEY, longest + "n", longest, false}, // too long to open: no choice
        {&text, IDC_LOADKEY, {}, "", false},
    };
    const fs::path home = fs::current_path();
    fs::current_path(dir.path());
    for (const auto& [panel, button, answer, offered, mustExist] : steps)
        Press(*panel, button, answer);
    fs::current_path(home);
    ASSERT_EQ(chooser.requests.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& [panel, button, answer, offered, mustExist] = steps[i];
        const FileChooserRequest& r = chooser.requests[i];
        EXPECT_EQ(r.title + "|" + r.initialPath, "Please select file:|" + offered) << i;
        EXPECT_EQ(r.fileMustExist, mustExist) << i;
        EXPECT_EQ(r.owner, panel) << i;
    }
    EXPECT_EQ(file.GetDlgItemText(IDC_SOURCE) + "|" + file.GetDlgItemText(IDC_TARGET), a + "|");
    EXPECT_EQ(Field() + "|" + file.GetDlgItemText(IDC_PASSWORD), "text pw|file pw");
    EXPECT_EQ(ReadFile(longest), ReadFile(a));
    // Saved, saved, loaded, saved; a cancel says nothing.
    std::vector<std::pair<std::string, const CDialog*>> shown;
    for (const MessageRecord& m : recorder.messages)
        shown.emplace_back(m.text, m.owner);
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, const CDialog*>>{
                         {kSaved, &text}, {kSaved, &file}, {kLoaded, &file}, {kSaved, &text}}));
}

} // namespace
