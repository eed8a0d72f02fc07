#include "platform/ui/WinApp.h"

#include <QApplication>
#include <QCoreApplication>

namespace quillmar {

namespace {
CWinApp* g_app = nullptr;
}

CWinApp* AfxGetApp() {
    return g_app;
}

std::string AppNameFromExecutable(std::string_view path) {
    auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    auto dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        path = path.substr(0, dot);
    return std::string(path);
}

std::vector<std::filesystem::path> DefaultModuleDirectories(const std::filesystem::path& exeDir) {
    return {exeDir, (exeDir / ".." / "lib" / "quillmar").lexically_normal()};
}

CWinApp::CWinApp(const char* appName) {
    if (appName) {
        m_appName = appName;
        m_nameGiven = true;
    }
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::ResolveNames(const char* argv0) {
    std::filesystem::path exe;
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        exe = std::filesystem::absolute(argv0 ? argv0 : "", ec);
    if (!m_nameGiven)
        m_appName = AppNameFromExecutable(exe.string());
    m_moduleDirs = DefaultModuleDirectories(exe.parent_path());
}

int CWinApp::Run(int argc, char** argv) {
    ResolveNames(argc > 0 ? argv[0] : nullptr);
    if (!QCoreApplication::instance())
        m_qapp = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QString::fromStdString(m_appName));
    // The return value tells whether a message loop of our own should run;
    // the modal main window already was one.
    InitInstance();
    return ExitInstance();
}

bool CWinApp::InitInstance() {
    return false;
}

void CWinApp::SetRegistryKey(std::string_view key) {
    // Names where settings would live; nothing is ever written there.
    QCoreApplication::setOrganizationName(QString::fromUtf8(key.data(), qsizetype(key.size())));
}

} // namespace quillmar
