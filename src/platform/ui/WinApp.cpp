#include "platform/ui/WinApp.h"

#include "platform/locale/Translate.h"
#include "platform/os/Descriptors.h"
#include "platform/os/Module.h"
#include "platform/os/ProcessHardening.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

#include <algorithm>

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
    const auto exe = ProgramPath();
    // argv[0] may only name the program: where modules come from is the kernel's word.
    if (!m_nameGiven)
        m_appName = AppNameFromExecutable(exe.empty() ? (argv0 ? argv0 : "") : exe.string());
    m_moduleDirs = ProgramModuleDirectories();
}

void KeepSettingsOffDisk() {
    // Qt's own file dialog records every folder browsed in the user's settings,
    // which would tell anyone where the key files live. Settings that cannot
    // be stored are neither read nor written: no folder can be made below a device.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
}

void ApplyLanguage() {
    // Owned by the application, so it goes with it.
    static QPointer<QTranslator> qtTexts;
    delete qtTexts;
    const std::string language = CatalogueLanguage();
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!language.empty() &&
        translator->load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        qtTexts = translator.release();
    QGuiApplication::setLayoutDirection(RightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
}

int CWinApp::Run(int argc, char** argv) {
    // Before anything is opened: /dev/fd/N names only these.
    NoteInheritedDescriptors();
    HardenProcess();
    KeepSettingsOffDisk();
    InitTranslations(CataloguesOf(ProgramPath()));
    ResolveNames(argc > 0 ? argv[0] : nullptr);
    if (const auto status = AnswerCommandLine(argc, argv))
        return *status;
    if (!QCoreApplication::instance())
        m_qapp = std::make_unique<QApplication>(argc, argv);
    m_args.assign(argv + std::min(argc, 1), argv + argc);
    QCoreApplication::setApplicationName(QString::fromStdString(m_appName));
    ApplyLanguage();
    // The return value tells whether a message loop of our own should run;
    // the modal main window already was one.
    InitInstance();
    const int status = ExitInstance();
    // Before main returns: Qt's own statics are gone by the time a global application object
    // is destroyed.
    m_qapp.reset();
    return status;
}

bool CWinApp::InitInstance() {
    return false;
}

void CWinApp::SetRegistryKey(std::string_view key) {
    // Names where settings would live; nothing is ever written there.
    QCoreApplication::setOrganizationName(QString::fromUtf8(key.data(), qsizetype(key.size())));
}

} // namespace quillmar
