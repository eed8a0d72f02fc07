#include "platform/ui/ProgressRunner.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include <exception>
#include <memory>
#include <thread>

namespace quillmar {

namespace {

std::chrono::milliseconds g_delay = kProgressDelay;
constexpr int kBarRange = 1000;
constexpr std::chrono::milliseconds kRefresh{100};

QString Describe(const ProgressRequest& r, std::uint64_t done) {
    const QString label = QString::fromStdString(r.label);
    if (!label.contains(QLatin1String("%2")))
        return label.arg(QString::number(done));
    return label.arg(QString::number(done), QString::number(std::max(done, r.total)));
}

// Holds off the user's input to every window but the progress dialog, and
// turns closing the main window into a cancel.
class InputGuard : public QObject {
public:
    InputGuard(QWidget* mainWindow, ProgressState& state) : m_main(mainWindow), m_state(state) {
        qApp->installEventFilter(this);
    }
    ~InputGuard() override { qApp->removeEventFilter(this); }
    void Allow(QWidget* dialog) { m_allowed = dialog; }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w)
            return false;
        if (e->type() == QEvent::Close && m_main && w == m_main) {
            m_state.cancel = true;
            return false;
        }
        if (!IsInput(e->type()))
            return false;
        return !(m_allowed && (w == m_allowed || m_allowed->isAncestorOf(w)));
    }

private:
    static bool IsInput(QEvent::Type t) {
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }

    QPointer<QWidget> m_main;
    ProgressState& m_state;
    QPointer<QWidget> m_allowed;
};

} // namespace

void SetProgressDelay(std::chrono::milliseconds delay) {
    g_delay = delay;
}

void RunWithProgress(const ProgressRequest& request, ProgressState& state,
                     const std::function<void()>& work) {
    QWidget* mainWindow = request.owner && request.owner->GetSafeHwnd()
                              ? request.owner->GetSafeHwnd()->window()
                              : nullptr;
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    InputGuard guard(mainWindow, state);
    std::unique_ptr<QProgressDialog> dialog;
    QProgressBar* bar = nullptr;
    QLabel* label = nullptr;

    const auto refresh = [&] {
        if (!dialog)
            return;
        const std::uint64_t done = state.done.load(std::memory_order_relaxed);
        label->setText(Describe(request, done));
        if (label->sizeHint().width() > label->width())
            dialog->adjustSize(); // a file that grew while being read
        if (request.total > 0)
            bar->setValue(
                int(std::min<std::uint64_t>(done, request.total) * kBarRange / request.total));
    };
    const auto showDialog = [&] {
        if (finished || state.cancel)
            return;
        dialog = std::make_unique<QProgressDialog>(mainWindow);
        dialog->setWindowTitle(
            QString::fromStdString(AfxGetApp() ? AfxGetApp()->AppName() : std::string()));
        // Our own bar and label: QProgressDialog::setValue would run the event
        // loop from inside our refresh.
        bar = new QProgressBar;
        bar->setRange(0, request.total > 0 ? kBarRange : 0);
        label = new QLabel(Describe(request, request.total));
        dialog->setBar(bar);
        dialog->setLabel(label);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumDuration(0);
        dialog->setWindowModality(Qt::ApplicationModal);
        // Cancel, the close box and Esc all stop the work.
        QObject::connect(dialog.get(), &QProgressDialog::canceled,
                         [&state] { state.cancel = true; });
        QObject::connect(dialog.get(), &QDialog::rejected, [&state] { state.cancel = true; });
        guard.Allow(dialog.get());
        refresh();
        dialog->show();
    };

    // Receives the worker's news; deleted before the loop, which drops a
    // message that came too late.
    auto context = std::make_unique<QObject>();
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, context.get(), showDialog);
    QTimer refreshTimer;
    QObject::connect(&refreshTimer, &QTimer::timeout, context.get(), refresh);
    showTimer.start(g_delay);
    refreshTimer.start(kRefresh);

    std::thread worker([&, ctx = context.get()] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        QMetaObject::invokeMethod(
            ctx, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    if (!finished)
        loop.exec();
    // The loop also ends when the application quits: the work stops after its current step.
    if (!finished)
        state.cancel = true;
    worker.join();
    showTimer.stop();
    refreshTimer.stop();
    context.reset();
    dialog.reset();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmar
