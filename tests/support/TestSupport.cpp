#include "TestSupport.h"

#include "platform/ui/WinApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <dlfcn.h>
#include <stdexcept>

namespace quillmar::test {

std::filesystem::path RealModuleDir() {
    return QUILLMAR_OUTPUT_DIR;
}

std::filesystem::path FakeModuleDir(const std::string& kind) {
    return std::filesystem::path(QUILLMAR_FAKE_MODULE_DIR) / kind;
}

void UseModuleDir(const std::filesystem::path& dir) {
    AfxGetApp()->SetModuleDirectories({dir});
}

void Click(CDialog& dlg, int id) {
    auto* b = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    if (!b)
        throw std::runtime_error("no button " + std::to_string(id));
    if (!b->isEnabled() || !b->isVisibleTo(dlg.GetSafeHwnd()))
        throw std::runtime_error("button " + std::to_string(id) + " cannot be clicked");
    b->click();
}

void OnNextModal(std::function<void(CDialog&)> action) {
    // Polls from the event loop of the modal run itself: no sleeping.
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* w = QApplication::activeModalWidget();
        CDialog* dlg = w ? CDialog::FromWidget(w) : nullptr;
        if (!dlg || !dlg->IsModalRun())
            return;
        timer->stop();
        timer->deleteLater();
        action(*dlg);
    });
    timer->start();
}

void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

std::vector<RecordedCall>& RecordedCalls(const std::string& moduleFile) {
    // Holding our own reference keeps the module's record alive while the
    // program loads and releases it around each operation.
    const auto path = FakeModuleDir("recording") / moduleFile;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        throw std::runtime_error(dlerror());
    using List = std::vector<RecordedCall>* (*)();
    return *reinterpret_cast<List>(dlsym(h, "test_calls"))();
}

} // namespace quillmar::test
