#include "platform/ui/Dialog.h"

#include "platform/locale/Translate.h"
#include "platform/ui/AppIcon.h"
#include "platform/ui/DialogWindow.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

namespace quillmar {

CDialog::CDialog(const DialogTemplate& tpl) : m_tpl(tpl) {}

CDialog::~CDialog() {
    DestroyWindow();
}

void CDialog::DestroyWindow() {
    m_controls.clear();
    m_panelArea = nullptr;
    if (m_window)
        m_window->Detach();
    delete m_frame.data(); // takes the window with it
    delete m_window.data();
    m_frame = nullptr;
    m_window = nullptr;
}

void CDialog::WindowDestroyed() {
    m_controls.clear();
    m_window = nullptr;
    m_frame = nullptr;
    m_panelArea = nullptr;
}

CDialog* CDialog::FromWidget(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        if (auto* dw = qobject_cast<const DialogWindow*>(w))
            return dw->Dialog();
    }
    return nullptr;
}

QWidget* CDialog::OwnerWindow() const {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd && app->m_pMainWnd != this)
        return app->m_pMainWnd->GetSafeHwnd();
    return nullptr;
}

// A window of its own: a title with the system menu and a close box, fixed in
// size, with the application's icon.
void CDialog::BuildTopLevel(QWidget* owner, Qt::WindowType type) {
    Build(owner);
    m_window->setWindowFlags(type | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    m_window->setWindowIcon(AppIcon());
}

int CDialog::DoModal() {
    // The application's main window has no owner: window managers must see a main window (type
    // NORMAL, no transient hint, not modal), not a dialog. Every other dialog is one, modal
    // and owned by the main window.
    const CWinApp* app = AfxGetApp();
    const bool mainWindow = app && app->m_pMainWnd == this;
    BuildTopLevel(OwnerWindow(), mainWindow ? Qt::Window : Qt::Dialog);
    m_modal = true;
    if (!mainWindow)
        m_window->setWindowModality(Qt::ApplicationModal);
    m_result = IDCANCEL;
    OnInitDialog();
    MirrorForRightToLeft();
    if (mainWindow) {
        QEventLoop loop;
        QObject::connect(m_window, &QDialog::finished, &loop, &QEventLoop::quit);
        QObject::connect(m_window, &QObject::destroyed, &loop, &QEventLoop::quit);
        m_window->show();
        loop.exec(QEventLoop::DialogExec);
    } else {
        m_window->exec();
    }
    const int result = m_result;
    m_modal = false;
    DestroyWindow();
    return result;
}

bool CDialog::Create(CDialog* parent) {
    if (!parent) {
        BuildTopLevel(nullptr, Qt::Window);
        OnInitDialog();
        MirrorForRightToLeft();
        if (m_tpl.style & DS_VISIBLE)
            m_window->show();
        return true;
    }
    if (!parent->m_window)
        return false;
    if (!parent->m_panelArea) {
        parent->m_panelArea = new QMdiArea(parent->m_window);
        parent->m_panelArea->setBackground(parent->m_window->palette().window());
        parent->m_panelArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        parent->m_panelArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        parent->m_panelArea->setFrameShape(QFrame::NoFrame);
        parent->m_panelArea->setGeometry(0, 0, 0, 0);
        parent->m_panelArea->show();
    }
    Build(nullptr);
    m_frame = new QMdiSubWindow(nullptr, Qt::SubWindow | Qt::WindowTitleHint |
                                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_frame->setWidget(m_window);
    m_frame->setWindowTitle(QString::fromUtf8(Tr(m_tpl.caption)));
    m_frame->setWindowIcon(AppIcon());
    m_frame->setOption(QMdiSubWindow::RubberBandMove, false);
    parent->m_panelArea->addSubWindow(m_frame);
    m_frame->hide();
    m_frame->adjustSize();
    OnInitDialog();
    MirrorForRightToLeft();
    SetWindowPos(0, 0);
    if (m_tpl.style & DS_VISIBLE)
        ShowWindow(SW_SHOWNORMAL);
    return true;
}

void CDialog::SetWindowPos(int x, int y) {
    if (!m_frame) {
        if (m_window)
            m_window->move(x, y);
        return;
    }
    // The panel area is the smallest rectangle that holds every panel; the
    // dialog around it grows if a panel would not fit.
    QMdiArea* area = m_frame->mdiArea();
    QWidget* host = area->parentWidget();
    const QSize frameSize = m_frame->sizeHint().expandedTo(m_frame->size());
    m_frame->setProperty("quillmarPos", QPoint(x, y));
    QRect bounds;
    for (QMdiSubWindow* sub : area->subWindowList()) {
        const QPoint p = sub->property("quillmarPos").toPoint();
        bounds |= QRect(p, sub == m_frame ? frameSize : sub->size());
    }
    area->setGeometry(bounds);
    for (QMdiSubWindow* sub : area->subWindowList()) {
        if (sub == m_frame)
            sub->setGeometry(QRect(QPoint(x, y) - bounds.topLeft(), frameSize));
        else
            sub->move(sub->property("quillmarPos").toPoint() - bounds.topLeft());
    }
    const QSize need = host->size().expandedTo(QSize(bounds.right() + 1, bounds.bottom() + 1));
    if (need != host->size())
        host->setFixedSize(need);
}

void CDialog::ShowWindow(int cmd) {
    if (!m_window)
        return;
    QWidget* w = m_frame ? static_cast<QWidget*>(m_frame.data()) : m_window.data();
    if (cmd == SW_HIDE) {
        w->hide();
        return;
    }
    m_window->show();
    w->showNormal();
    if (m_frame)
        m_frame->raise();
}

bool CDialog::IsWindowVisible() const {
    if (!m_window)
        return false;
    if (m_frame)
        return !m_frame->isHidden() && !m_window->isHidden();
    return m_window->isVisible();
}

int CDialog::PanelAreaBottom() const {
    return m_panelArea ? m_panelArea->geometry().bottom() + 1 : 0;
}

void CDialog::MoveControlsBelow(int y, int dy) {
    if (!m_window || dy <= 0)
        return;
    for (QWidget* w : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != m_panelArea && w->y() >= y)
            w->move(w->x(), w->y() + dy);
    }
    m_window->setFixedSize(m_window->width(), m_window->height() + dy);
}

void CDialog::RedrawWindow() {
    if (m_window)
        m_window->repaint();
}

void CDialog::EndDialog(int result) {
    m_result = result;
    if (m_window)
        m_window->done(result);
}

void CDialog::OnOK() {
    if (m_modal)
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    if (m_modal)
        EndDialog(IDCANCEL);
}

void CDialog::OnClose() {
    if (m_frame)
        return; // a panel's close box only hides it
    EndDialog(IDCANCEL);
}

void CDialog::OnCommand(int id) {
    auto it = m_commands.find(id);
    if (it != m_commands.end())
        it->second();
}

void CDialog::HandleEnter() {
    // Enter presses the focused button, else the default button, else means OK.
    if (auto* b = qobject_cast<QPushButton*>(QApplication::focusWidget());
        b && m_window->isAncestorOf(b)) {
        b->click();
        return;
    }
    for (auto& [id, w] : m_controls) {
        if (auto* b = qobject_cast<QPushButton*>(w); b && b->isDefault()) {
            b->click();
            return;
        }
    }
    OnOK();
}

QWidget* CDialog::GetDlgItem(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QWidget* CDialog::GetSafeHwnd() const {
    return m_window.data();
}

QWidget* CDialog::GetFrame() const {
    return m_frame ? static_cast<QWidget*>(m_frame.data()) : m_window.data();
}

} // namespace quillmar
