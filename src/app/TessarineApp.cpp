#include "app/TessarineApp.h"

#include "app/MainDlg.h"
#include "platform/locale/Translate.h"
#include "platform/os/ExitStatus.h"
#include "platform/os/FileError.h"
#include "platform/os/WriteAll.h"
#include "platform/os/WriteWhole.h"
#include "platform/ui/FileNames.h"
#include "res/Strings.h"

#include <QApplication>
#include <QStringList>

#include <string_view>
#include <unistd.h>

namespace quillmar {

namespace {

// The name docks and task bars tie the window to: the desktop entry's, without ".desktop".
constexpr char kDesktopFileName[] = "org.example.quillmar.Quillmar";

std::string UsageText(const std::string& name) {
    return Fill(Tr(N_("Usage: %1 [FILE]\n"
                      "Opens the Quillmar window; with FILE, on the File panel with FILE as its "
                      "source\n"
                      "and FILE.qx as its target (FILE without .qx when it ends in .qx).\n"
                      "\n"
                      "  -h, --help     show this help and exit\n"
                      "  -V, --version  show the version and exit\n"
                      "  --             end of options: a FILE that starts with '-' follows\n")),
                {name});
}

void Complain(const std::string& name, const std::string& what) {
    WriteAll(STDERR_FILENO, Fill(Tr(N_("%1: %2 (%1 --help shows how)")), {name, what}) + "\n");
}

} // namespace

std::optional<int> CTessarineApp::AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        std::string text;
        if (arg == "-h" || arg == "--help")
            text = UsageText(AppName());
        else if (arg == "-V" || arg == "--version")
            text = AppName() + " " QUILLMAR_VERSION "\n";
        else
            continue;
        // Asked for, so a failed write is a failure.
        FileError error;
        return WriteWhole(STDOUT_FILENO, text, "standard output", error) ? kExitDone : kExitFailed;
    }
    return std::nullopt;
}

bool CTessarineApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    // What is left once Qt has taken its own options (-style, -platform ...).
    std::vector<std::string> files;
    bool options = true;
    for (const std::string& arg : Arguments()) {
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.starts_with('-') && arg != "-") {
            Complain(AppName(), Fill(Tr(N_("unknown option %1")), {ShownName(arg)}));
            m_exitStatus = kExitUsage;
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() > 1) {
        Complain(AppName(), Tr(N_("one FILE at most")));
        m_exitStatus = kExitUsage;
        return false;
    }
    // A name the window's fields cannot hold would come back as another file's.
    if (!files.empty() && !HoldsAsText(files.front())) {
        RefuseFileName(nullptr, files.front(), str::kNameNotText);
        files.clear();
    }
    {
        CMainDlg dlg(files.empty() ? std::string() : files.front());
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    // No message loop of our own: the main window was it.
    return false;
}

} // namespace quillmar
