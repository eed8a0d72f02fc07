#include "platform/ui/DialogWindow.h"

#include "platform/ui/Dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace quillmar {

DialogWindow::~DialogWindow() {
    if (m_dialog)
        m_dialog->WindowDestroyed();
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
    if (!m_dialog || e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
        QWidget::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Escape:
        m_dialog->OnCancel();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_dialog->HandleEnter();
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void DialogWindow::closeEvent(QCloseEvent* e) {
    if (!m_dialog || m_dialog->GetFrame() != this) {
        e->accept(); // a panel: its frame hides it
        return;
    }
    m_dialog->OnClose();
    e->ignore(); // ending the dialog hides it
}

} // namespace quillmar
