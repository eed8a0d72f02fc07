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
#include <sys/prctl.h>
#include <sys/resource.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;

namespace {

int g_argc;
char** g_argv;

// Answers the next real file chooser: chooses path, or cancels when there is none.
void AnswerNextChooser(std::optional<fs::path> path) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        timer->stop();
        timer->deleteLater();
        if (!path) {
            chooser->reject();
            return;
        }
        chooser->setDirectory(QString::fromStdString(path->parent_path().string()));
        chooser->selectFile(QString::fromStdString(path->filename().string()));
        static_cast<QDialog*>(chooser)->accept(); // as the Open button does
    });
    timer->start();
}

void CloseNextModal() {
    OnNextModal([](CDialog& d) { d.GetSafeHwnd()->close(); });
}

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

class Session : public CWinApp {
public:
    explicit Session(const fs::path& chosen) : m_chosen(chosen) {}

    bool InitInstance() override {
        // Before the first window: the start-up has already shut the doors.
        rlimit core{};
        EXPECT_EQ(getrlimit(RLIMIT_CORE, &core), 0);
        EXPECT_EQ(core.rlim_cur, 0u);
        EXPECT_EQ(core.rlim_max, 0u);
        EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);

        MessageRecorder recorder;
        RecordingLauncher launcher;
        UseModuleDir(RealModuleDir());
        CMainDlg main;
        m_pMainWnd = &main;
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        CTextDlg& text = main.TextPanel();
        CFPDlg& file = main.FilePanel();

        CloseNextModal();
        Click(main, IDC_ABOUT);
        CloseNextModal();
        Click(main, IDC_HELP);
        text.SetDlgItemText(IDC_TEXTFIELD, "text");
        text.SetDlgItemText(IDC_PASSWORD, "pw");
        OnNextModal([](CDialog& mail) {
            mail.SetDlgItemText(IDC_MAILADDR, "someone");
            Click(mail, IDC_SEND);
        });
        Click(main, IDC_MAIL);
        EXPECT_EQ(launcher.urls.size(), 1u);

        const fs::path key = m_chosen / "my.key";
        AnswerNextChooser(key);
        Click(text, IDC_SAVEKEY);
        AnswerNextChooser(key);
        Click(text, IDC_LOADKEY);
        AnswerNextChooser(std::nullopt);
        Click(text, IDC_LOADKEY);

        Click(main, IDC_FILE);
        AnswerNextChooser(key);
        Click(file, IDC_BROWSESRC);
        AnswerNextChooser(m_chosen / "my.key.des");
        Click(file, IDC_BROWSETGT);
        file.SetDlgItemText(IDC_PASSWORD, "pw");
        Click(file, IDC_FENCRYPT);

        std::vector<std::string> shown;
        for (const auto& m : recorder.messages)
            shown.push_back(m.text);
        EXPECT_EQ(shown, (std::vector<std::string>{"Password successful saved!",
                                                   "Password succesful loaded!",
                                                   "Encryption successful finished!"}));
        m_pMainWnd = nullptr;
        return false;
    }

private:
    fs::path m_chosen;
};

TEST(Privacy, ARunWritesOnlyTheChosenFilesAndCannotBeDumped) {
    TempDir home, chosen;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        fs::create_directory(home / var);
        setenv(var, (home / var).c_str(), 1);
    }
    setenv("HOME", home.path().c_str(), 1);
    {
        Session session(chosen.path());
        session.Run(g_argc, g_argv);
    }
    EXPECT_EQ(Listing(home.path()),
              (std::vector<std::string>{"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}));
    EXPECT_EQ(Listing(chosen.path()), (std::vector<std::string>{"my.key", "my.key.des"}));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    g_argc = argc;
    g_argv = argv;
    return RUN_ALL_TESTS();
}
