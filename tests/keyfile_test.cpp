// Key files: Save Key and Load Key through the panels with real files, and
// the choosers every panel shares.
#include "FakeFiles.h"
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "res/Resource.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;

namespace {

const auto Record = KeyRecordBytes;

const std::string kSaved = "Password successful saved!", kLoaded = "Password succesful loaded!";

struct KeyFiles : ::testing::Test {
    KeyFiles() { main.Create(nullptr); }
    ~KeyFiles() override { fs::current_path(home); }
    CTextDlg& Panel() { return main.TextPanel(); }
    std::string Field() { return Panel().GetDlgItemText(IDC_PASSWORD); }
    // Puts password in the text panel's field, then presses a button of a panel; the chooser
    // then gives answer.
    void Press(int button, std::optional<std::string> answer,
               const std::string& password = "before", CDialog* on = nullptr) {
        Panel().SetDlgItemText(IDC_PASSWORD, password);
        chooser.answers = {std::move(answer)}; // an answer not asked for is dropped
        Click(on ? *on : Panel(), button);
    }
    // The one message shown since the last call ("" for none), titled with the application's
    // name, with this icon, owned by the text panel unless said otherwise.
    std::string Message(MsgIcon icon = MsgIcon::None, const CDialog* owner = nullptr) {
        const auto shown = std::exchange(recorder.messages, {});
        owner = owner ? owner : &Panel();
        for (const MessageRecord& m : shown)
            EXPECT_TRUE(m.caption == "Tessarine" && m.icon == icon && m.owner == owner)
                << m.caption << ", icon " << int(m.icon) << ": " << m.text;
        return shown.size() < 2 ? (shown.empty() ? "" : shown[0].text) : "several messages";
    }

    MessageRecorder recorder;
    ScriptedChooser chooser;
    TempDir dir;
    CMainDlg main;
    const fs::path home = fs::current_path();
};

// Saving through a link replaces the file it names, owner-only, whole or not at all; a failed
// read changes nothing either. Load gives back exactly what Save stored.
TEST_F(KeyFiles, SaveReplacesTheLinkedFileWholeOrNotAtAllAndLoadRestoresThePassword) {
    const fs::path key = dir / "old.key", link = dir / "link.key";
    WriteFile(key, std::string(1000, 'o')); // longer than a record: no old tail may remain
    fs::permissions(key, fs::perms(0640));
    fs::create_symlink(key, link);
    const auto before = Snapshot(dir.path());
    Press(IDC_SAVEKEY, link, std::string(256, 'p'));
    EXPECT_EQ(Message(),
              "The password is longer than 255 bytes and cannot be stored in a key file.");
    EXPECT_TRUE(chooser.requests.empty()); // refused before a file is asked for
    // Reads fail at once; writes go to the real file and fail after 100 of the record's 268 bytes.
    FakeFiles failing(Record("abc", 3), true, 0, 100);
    {
        const UsingFileLayer using_(failing);
        Press(IDC_SAVEKEY, link, "new password");
        EXPECT_EQ(Message(MsgIcon::Stop), "Disk full while accessing " + link.string() + ".");
        Press(IDC_LOADKEY, link);
    }
    EXPECT_EQ(Message(MsgIcon::Stop) + "|" + Field(),
              "A hardware I/O error was reported while accessing " + link.string() + ".|before");
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(fs::status(key).permissions(), fs::perms(0640));
    // A module takes the password up to its first zero byte; so does the key file.
    for (const std::string& password :
         {std::string(), std::string(255, 'z'), std::string("пароль ü 🙂 \t"),
          std::string("ab\0cd", 5)}) {
        SCOPED_TRACE(password);
        const std::string stored = password.substr(0, password.find('\0'));
        Press(IDC_SAVEKEY, link, password);
        EXPECT_EQ(Message(), kSaved);
        EXPECT_EQ(ReadFile(key), Record(stored, std::uint8_t(stored.size())));
        EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
        Press(IDC_LOADKEY, link);
        EXPECT_EQ(Message() + "|" + Field(), kLoaded + "|" + stored);
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(Panel().IsMasked(IDC_PASSWORD));
    EXPECT_EQ(Panel().GetDlgItemText(IDC_STATUS), "Ready to work.");
    EXPECT_EQ(Snapshot(dir.path()).size(), 2u); // no temporary file left behind
}

TEST_F(KeyFiles, LoadSaysWhatAFileHoldsOrWhyItCannotBeReadAndChangesNothingElse) {
    const std::string d = dir.path().string() + "/", kept = "|before";
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    // The file's name, what it holds (nothing: left as it is), then the message and the field
    // after ("before" when refused). A message that names the file comes with a stop sign; Save
    // Key fails alike.
    const std::string kUnreadable = "Can not read from the file!";
    const std::vector<std::tuple<std::string, std::optional<std::string>, std::string>> cases = {
        {"empty", "", kUnreadable + kept},
        {"short", "QXP", kLoaded + "|"},
        {"other", "QXPA", "This is not a QX password file!" + kept},
        {"long", Record("abc", 99) + "ignored", kLoaded + "|abc"},
        // An area with no zero byte ends with the record, not in the reserved bytes.
        {"full", Record(std::string(256, 'k'), 0).replace(264, 4, "RRRR") + "beyond",
         kLoaded + "|" + std::string(256, 'k')},
        {"latin1", Record("caf\xE9", 4),
         "The password in this key file cannot be shown unchanged in the password field, so it "
         "was not loaded." +
             kept},
        {"pipe", {}, kUnreadable + kept}, // with no writer: must not hang the window
        {"missing/key", {}, d + "missing/key was not found." + kept},
        {"short/key", {}, d + "short/key was not found." + kept},
        {"folder", {}, d + "folder contains an invalid path." + kept},
        // Not text: the field would hold a look-alike naming another file.
        {"caf\xE9.key", Record("stolen", 6),
         "The name " + d +
             "caf\\351.key cannot be shown as text, so it was not used: a look-alike name would "
             "stand for another file. Rename it, or use the quillmar command." +
             kept},
    };
    for (const auto& [name, content, shown] : cases)
        if (content)
            WriteFile(dir / name, *content);
    const auto before = Snapshot(dir.path());
    for (const auto& [name, content, shown] : cases) {
        SCOPED_TRACE(name);
        const bool stop = shown.starts_with(d) || shown.starts_with("The name");
        const MsgIcon icon = stop ? MsgIcon::Stop : MsgIcon::None;
        Press(IDC_LOADKEY, d + name);
        EXPECT_EQ(Message(icon) + "|" + Field(), shown);
        if (icon == MsgIcon::Stop) {
            Press(IDC_SAVEKEY, d + name);
            EXPECT_EQ(Message(icon) + "|" + Field(), shown);
        }
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
}

// Every chooser of a panel offers that panel's last choice, made full; a cancel, or a path too
// long to open, forgets it. The two panels remember apart.
TEST_F(KeyFiles, EachPanelsChoosersShareItsLastChoiceAndACancelForgetsIt) {
    const std::string d = dir.path().string() + "/", a = d + "a.key", b = d + "b.key";
    const std::string longest = d + std::string(259 - d.size(), 'n'); // the longest that opens
    CTextDlg& text = Panel();
    CFPDlg& file = main.FilePanel();
    file.SetDlgItemText(IDC_PASSWORD, "file pw");
    // Panel, button and the chooser's answer; then what it had to offer, whether the file had to
    // exist, and the message (a cancel says nothing).
    const std::tuple<CDialog*, int, std::optional<std::string>, std::string, bool, std::string>
        steps[] = {
            {&text, IDC_SAVEKEY, "a.key", "", false, kSaved}, // relative: saved as a
            {&file, IDC_SAVEKEY, b, "", false, kSaved},
            {&file, IDC_BROWSESRC, a, b, true, ""},
            {&file, IDC_BROWSETGT, {}, a, false, ""}, // a cancel empties the target field...
            {&file, IDC_BROWSESRC, {}, "", true, ""}, // ...but not the source field
            {&file, IDC_LOADKEY, b, "", false, kLoaded},
            {&text, IDC_LOADKEY, {}, a, false, ""},
            {&text, IDC_SAVEKEY, longest, "", false, kSaved},
            {&text, IDC_SAVEKEY, longest + "n", longest, false, ""}, // too long to open: no choice
            {&text, IDC_LOADKEY, {}, "", false, ""},
        };
    fs::current_path(dir.path()); // where the relative name is saved
    for (const auto& [panel, button, answer, offered, mustExist, message] : steps) {
        SCOPED_TRACE(chooser.requests.size());
        Press(button, answer, "text pw", panel);
        ASSERT_FALSE(chooser.requests.empty());
        const FileChooserRequest& r = chooser.requests.back();
        EXPECT_EQ(r.title + "|" + r.initialPath, "Please select file:|" + offered);
        EXPECT_TRUE(r.fileMustExist == mustExist && r.owner == panel);
        EXPECT_EQ(Message(MsgIcon::None, panel), message);
    }
    EXPECT_EQ(chooser.requests.size(), std::size(steps));
    EXPECT_EQ(file.GetDlgItemText(IDC_SOURCE) + "|" + file.GetDlgItemText(IDC_TARGET), a + "|");
    EXPECT_EQ(Field() + "|" + file.GetDlgItemText(IDC_PASSWORD), "text pw|file pw");
    for (const std::string& saved : {a, longest}) // new files, owner-only too
        EXPECT_EQ(std::pair(ReadFile(saved), fs::status(saved).permissions()),
                  std::pair(Record("text pw", 7), fs::perms(0600)));
}

} // namespace
