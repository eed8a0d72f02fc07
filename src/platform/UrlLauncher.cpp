#include "UrlLauncher.h"

#include <QProcess>

namespace quillmar {

namespace {
UrlLauncherService* g_service = nullptr;

bool OpenWithDesktop(const std::string& url) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
}
} // namespace

void SetUrlLauncherService(UrlLauncherService* service) {
    g_service = service;
}

bool AfxOpenUrl(const std::string& url) {
    return g_service ? g_service->Open(url) : OpenWithDesktop(url);
}

} // namespace quillmar
