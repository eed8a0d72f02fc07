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
            m_state.windowClosed = true;
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

// The progress dialog, once it is shown: our own bar and label, since
// QProgressDialog::setValue would run the event loop from inside a refresh.
class ProgressView {
public:
    ProgressView(const ProgressRequest& request, ProgressState& state, QWidget* mainWindow,
                 InputGuard& guard)
        : m_request(request), m_state(state), m_main(mainWindow), m_guard(guard) {}

    void Show() {
        if (m_state.cancel)
            return;
        m_dialog = std::make_unique<QProgressDialog>(m_main);
        m_dialog->setWindowTitle(
            QString::fromStdString(AfxGetApp() ? AfxGetApp()->AppName() : std::string()));
        m_bar = new QProgressBar;
        m_bar->setRange(0, m_request.total > 0 ? kBarRange : 0);
        m_bar->setTextVisible(false); // the text says the percent, as quillmar does
        m_label = new QLabel(Describe(0, 0));
        m_dialog->setBar(m_bar);
        m_dialog->setLabel(m_label);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        // Cancel, the close box and Esc all stop the work.
        ProgressState& state = m_state;
        QObject::connect(m_dialog.get(), &QProgressDialog::canceled,
                         [&state] { state.cancel = true; });
        QObject::connect(m_dialog.get(), &QDialog::rejected, [&state] { state.cancel = true; });
        m_guard.Allow(m_dialog.get());
        Refresh();
        m_dialog->show();
    }

    void Refresh() {
        if (!m_dialog)
            return;
        const std::uint64_t done = m_state.done.load(std::memory_order_relaxed);
        m_label->setText(
            Describe(done, std::chrono::duration<double>(Clock::now() - m_start).count()));
        // Only ever wider, for a longer text: a dialog that shrank back would jitter.
        if (m_label->sizeHint().width() > m_label->width())
            m_dialog->adjustSize();
        if (m_request.total > 0)
            m_bar->setValue(
                int(std::min<std::uint64_t>(done, m_request.total) * kBarRange / m_request.total));
    }

private:
    using Clock = std::chrono::steady_clock;
    QString Describe(std::uint64_t done, double seconds) const {
        return QString::fromStdString(m_request.describe(done, seconds));
    }

    const ProgressRequest& m_request;
    const Clock::time_point m_start = Clock::now();
    ProgressState& m_state;
    QWidget* m_main;
    InputGuard& m_guard;
    std::unique_ptr<QProgressDialog> m_dialog;
    QProgressBar* m_bar = nullptr;
    QLabel* m_label = nullptr;
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
    ProgressView view(request, state, mainWindow, guard);

    // Receives the worker's news; deleted before the loop, which drops a
    // message that came too late.
    auto context = std::make_unique<QObject>();
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, context.get(), [&] {
        if (!finished)
            view.Show();
    });
    QTimer refreshTimer;
    QObject::connect(&refreshTimer, &QTimer::timeout, context.get(), [&view] { view.Refresh(); });
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
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmar
