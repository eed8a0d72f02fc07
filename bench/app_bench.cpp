// Start-up and text-panel timings, offscreen.
//   app_bench            runs both and prints a table
//   app_bench --child    internal: starts the program's main window and reports when it shows
// Start-up is measured from just before the process is spawned to the moment its main window
// has been shown, median of 10 starts. The text case presses ENCRYPT and then DECRYPT on a
// 1 MiB text through the real panel and the real TRV.DLL, button press to status line.

#include "app/MainDlg.h"
#include "platform/ui/WinApp.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int Child(int argc, char** argv) {
    QApplication qapp(argc, argv);
    quillmar::CWinApp app("Tessarine");
    app.SetModuleDirectories({QUILLMAR_OUTPUT_DIR});
    quillmar::CMainDlg dlg;
    app.m_pMainWnd = &dlg;
    dlg.Create(nullptr);
    dlg.ShowWindow(quillmar::SW_SHOWNORMAL);
    // Shown and laid out: the first turn of the event loop has painted it.
    QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        QApplication::exit(0);
    });
    const int rc = QApplication::exec();
    app.m_pMainWnd = nullptr;
    return rc;
}

double StartOnce(const char* self) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* args[] = {const_cast<char*>(self), const_cast<char*>("--child"), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self, &actions, nullptr, args, environ) != 0)
        return -1;
    close(out[1]);
    char buf[16];
    const ssize_t n = read(out[0], buf, sizeof buf);
    const auto shown = Clock::now();
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return n > 0 ? Ms(shown - start) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Click(quillmar::CDialog& d, int id) {
    qobject_cast<QAbstractButton*>(d.GetDlgItem(id))->click();
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_LOGGING_RULES", "*.warning=false", 0);
    if (argc > 1 && std::string(argv[1]) == "--child")
        return Child(argc, argv);

    std::vector<double> starts;
    for (int i = 0; i < 10; ++i)
        starts.push_back(StartOnce("/proc/self/exe"));

    QApplication qapp(argc, argv);
    quillmar::CWinApp app("Tessarine");
    app.SetModuleDirectories({QUILLMAR_OUTPUT_DIR});
    quillmar::CMainDlg dlg;
    dlg.Create(nullptr);
    dlg.ShowWindow(quillmar::SW_SHOWNORMAL);
    auto& panel = dlg.TextPanel();
    std::string text;
    const std::string line = "Grüße aus Zürich, 1 MiB of text. 世界 🙂\n";
    while (text.size() + line.size() <= (std::size_t{1} << 20))
        text += line;
    panel.SetDlgItemText(quillmar::IDC_TEXTFIELD, text);
    panel.SetDlgItemText(quillmar::IDC_PASSWORD, "password");
    std::vector<double> rounds;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        Click(panel, quillmar::IDC_ENCRYPT);
        Click(panel, quillmar::IDC_DECRYPT);
        rounds.push_back(Ms(Clock::now() - t0));
    }
    const bool intact = panel.GetDlgItemText(quillmar::IDC_TEXTFIELD) == text;

    std::printf("%-44s %10s   %s\n", "case", "result", "target");
    std::printf("%-44s %7.1f ms   < 300 ms\n", "start-up to main window shown (median of 10)",
                Median(starts));
    std::printf("%-44s %7.1f ms   < 250 ms%s\n", "text panel ENCRYPT+DECRYPT, 1 MiB (median)",
                Median(rounds), intact ? "" : "   ROUND TRIP FAILED");
    return intact ? 0 : 1;
}
