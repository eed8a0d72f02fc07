#pragma once
// CWinApp: the application object. Owns the toolkit's application and runs
// the program's start-up through InitInstance.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QApplication;

namespace quillmar {

class CDialog;

class CWinApp {
public:
    // Without a name the application is named after its executable.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's entry: creates the toolkit application when there is none,
    // then runs InitInstance and ExitInstance.
    int Run(int argc, char** argv);

    // Before the toolkit starts, so with no display: a program that answers its command line
    // by itself (--help, --version) returns the exit status to end with.
    virtual std::optional<int> AnswerCommandLine(int argc, char** argv) {
        (void)argc;
        (void)argv;
        return std::nullopt;
    }
    virtual bool InitInstance();
    virtual int ExitInstance() { return 0; }

    const std::string& AppName() const { return m_appName; }
    // The command line's arguments after the program's name, as bytes, once
    // the toolkit has taken its own options (-style, -platform ...).
    const std::vector<std::string>& Arguments() const { return m_args; }
    void SetRegistryKey(std::string_view key);

    // Folders searched, in order, for cipher modules.
    const std::vector<std::filesystem::path>& ModuleDirectories() const { return m_moduleDirs; }
    void SetModuleDirectories(std::vector<std::filesystem::path> dirs) {
        m_moduleDirs = std::move(dirs);
    }

    CDialog* m_pMainWnd = nullptr;

private:
    void ResolveNames(const char* argv0);

    std::string m_appName;
    bool m_nameGiven = false;
    std::vector<std::string> m_args;
    std::vector<std::filesystem::path> m_moduleDirs;
    std::unique_ptr<QApplication> m_qapp;
};

CWinApp* AfxGetApp();

// Points Qt's settings where nothing can be stored: the program writes no file
// but those the user chooses.
void KeepSettingsOffDisk();

// "Tessarine" for "/usr/bin/Tessarine" or "C:\\x\\Tessarine.exe".
std::string AppNameFromExecutable(std::string_view path);

} // namespace quillmar
