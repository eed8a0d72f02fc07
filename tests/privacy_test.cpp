// What the program leaves behind: started through its real entry, used in every dialog with
// the real file chooser, it writes no file but those the user chose, and keeps its memory
// out of core files and debuggers.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "platform/ui/WinApp.h"
#include "res/Resource.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace quillmar::test {

// Clicks id and answers the real file chooser it opens: chooses path, or
// cancels for an empty one.
void ClickAndChoose(CDialog& dlg, int id, const fs::path& path) {
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer.stop();
            chooser->selectFile(QString::fromStdString(path.string()));
            // As the Open or the Cancel button does.
            path.empty() ? chooser->reject() : static_cast<QDialog*>(chooser)->accept();
        }
    });
    timer.start(0);
    Click(dlg, id);
}

struct Session : CWinApp {
    bool InitInstance() override {
        // Before the first window: the start-up has already shut the doors.
        rlimit core{1, 1};
        getrlimit(RLIMIT_CORE, &core);
        EXPECT_EQ(std::pair(core.rlim_cur, core.rlim_max), std::pair(rlim_t(0), rlim_t(0)));
        EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);

        MessageRecorder recorder;
        RecordingLauncher launcher;
        UseModuleDir(RealModuleDir());
        CMainDlg main;
        m_pMainWnd = &main;
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);

        for (const int id : {IDC_ABOUT, IDC_HELP}) {
            OnNextModal([](CDialog& d) { d.GetSafeHwnd()->close(); });
            Click(main, id);
        }
        main.TextPanel().SetDlgItemText(IDC_TEXTFIELD, "text");
        main.TextPanel().SetDlgItemText(IDC_PASSWORD, "pw");
        OnNextModal([](CDialog& mail) {
            mail.SetDlgItemText(IDC_MAILADDR, "someone");
            Click(mail, IDC_SEND);
        });
        Click(main, IDC_MAIL);
        EXPECT_EQ(launcher.urls.size(), 1u);

        // The user keeps the files at home.
        const fs::path home = std::getenv("HOME"), key = home / "my.key";
        ClickAndChoose(main.TextPanel(), IDC_SAVEKEY, key);
        ClickAndChoose(main.TextPanel(), IDC_LOADKEY, key);
        ClickAndChoose(main.TextPanel(), IDC_LOADKEY, {});
        Click(main, IDC_FILE);
        ClickAndChoose(main.FilePanel(), IDC_BROWSESRC, key);
        ClickAndChoose(main.FilePanel(), IDC_BROWSETGT, home / "my.key.des");
        main.FilePanel().SetDlgItemText(IDC_PASSWORD, "pw");
        Click(main.FilePanel(), IDC_FENCRYPT);

        // Each step did its work.
        std::string shown;
        for (const auto& m : recorder.messages)
            shown += m.text + "\n";
        EXPECT_EQ(shown, "Password successful saved!\nPassword succesful loaded!\n"
                         "Encryption successful finished!\n");
        m_pMainWnd = nullptr;
        return false;
    }
};

TEST(Privacy, ARunWritesOnlyTheChosenFilesAndCannotBeDumped) {
    // Whatever the program stores for the user would land in home too.
    TempDir home;
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        setenv(var, home.path().c_str(), 1);
    // Named like the program, through its own entry.
    char name[] = "quillmar", *argv[] = {name, nullptr};
    Session().Run(1, argv);
    std::set<std::string> written;
    for (const auto& e : fs::recursive_directory_iterator(home.path()))
        written.insert(fs::relative(e.path(), home.path()).string());
    EXPECT_EQ(written, (std::set<std::string>{"my.key", "my.key.des"}));
}

} // namespace quillmar::test

// Not the support library's main: the run must create its own application.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
