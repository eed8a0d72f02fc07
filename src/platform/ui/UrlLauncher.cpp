#include "platform/ui/UrlLauncher.h"

#include "platform/os/Detached.h"
#include "platform/ui/Dialog.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <unistd.h>

namespace quillmar {

namespace {
UrlLauncherService* g_service = nullptr;

constexpr const char* kOpener = "xdg-open";

void WatchOutcome(int fd, const CDialog* owner, std::function<void()> onLateFailure) {
    const bool guarded = owner != nullptr;
    QPointer<QWidget> ownerWindow = owner ? owner->GetSafeHwnd() : nullptr;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, fd, guarded, ownerWindow, onLateFailure] {
                         char failed = 0;
                         ssize_t n;
                         do
                             n = ::read(fd, &failed, 1);
                         while (n < 0 && errno == EINTR);
                         // Copied out first: the notifier takes this closure with it.
                         const auto report = onLateFailure;
                         const bool ownerGone = guarded && !ownerWindow;
                         notifier->setEnabled(false);
                         notifier->deleteLater();
                         ::close(fd);
                         if (n == 1 && failed && report && !ownerGone)
                             report();
                     });
}

bool OpenWithDesktop(const std::string& url, const CDialog* owner,
                     std::function<void()> onLateFailure) {
    // Past the limit exec would fail in the child, where nobody would hear of it; an
    // embedded NUL would cut the URL short; a leading "-" would be read as an option.
    if (url.empty() || url.size() > kMaxUrlBytes || url.find('\0') != std::string::npos ||
        url.front() == '-')
        return false;
    const std::string opener = FindProgramOnPath(kOpener);
    if (opener.empty())
        return false;
    const int fd = StartDetached(opener, url);
    if (fd < 0)
        return false;
    if (onLateFailure && QCoreApplication::instance())
        WatchOutcome(fd, owner, std::move(onLateFailure));
    else
        ::close(fd);
    return true;
}
} // namespace

void SetUrlLauncherService(UrlLauncherService* service) {
    g_service = service;
}

bool AfxOpenUrl(const std::string& url, const CDialog* owner, std::function<void()> onLateFailure) {
    if (g_service)
        return g_service->Open(url);
    return OpenWithDesktop(url, owner, std::move(onLateFailure));
}

} // namespace quillmar
