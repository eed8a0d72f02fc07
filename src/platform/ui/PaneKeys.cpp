#include "platform/ui/PaneKeys.h"

#include "platform/ui/Dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace quillmar {

namespace {

bool CanTakeFocus(const QWidget* w) {
    return w && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus);
}

// What a key press asks for, or Move::None for a key that is not ours.
enum class Move { None, OtherPane, NextPanel, PreviousPanel, NextButton, PreviousButton };

Move MoveFor(const QKeyEvent& key, bool inSidebar) {
    const auto mods = key.modifiers() & ~Qt::KeypadModifier;
    const bool plain = mods == Qt::NoModifier, ctrl = mods == Qt::ControlModifier;
    const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    switch (key.key()) {
    case Qt::Key_F6:
        // Two panes: forwards and backwards both lead to the other one.
        return plain || mods == Qt::ShiftModifier ? Move::OtherPane : Move::None;
    case Qt::Key_Tab:
        return ctrl ? Move::NextPanel : ctrlShift ? Move::PreviousPanel : Move::None;
    case Qt::Key_Backtab:
        return ctrlShift ? Move::PreviousPanel : Move::None;
    case Qt::Key_PageDown:
        return ctrl ? Move::NextPanel : Move::None;
    case Qt::Key_PageUp:
        return ctrl ? Move::PreviousPanel : Move::None;
    case Qt::Key_Down:
    case Qt::Key_Right:
        return plain && inSidebar ? Move::NextButton : Move::None;
    case Qt::Key_Up:
    case Qt::Key_Left:
        return plain && inSidebar ? Move::PreviousButton : Move::None;
    default:
        return Move::None;
    }
}

// Sees every key press that reaches a control of the window. An application-wide filter, not
// shortcuts: text fields would take Ctrl+Tab and Ctrl+PgDn for themselves first.
class PaneKeyFilter : public QObject {
public:
    PaneKeyFilter(CDialog& window, std::vector<int> sidebar, std::vector<PaneButton> panels)
        : QObject(window.GetSafeHwnd()), m_window(window), m_sidebar(std::move(sidebar)),
          m_panels(std::move(panels)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* target, QEvent* e) override {
        // Every event of the application passes here, the window's own while it is being
        // destroyed too: only key presses may reach the dialog.
        if (e->type() != QEvent::KeyPress)
            return false;
        auto* w = qobject_cast<QWidget*>(target);
        QWidget* window = m_window.GetSafeHwnd();
        if (!w || !window || (w != window && !window->isAncestorOf(w)))
            return false;
        const Move move = MoveFor(*static_cast<QKeyEvent*>(e), SidebarIndex(w) >= 0);
        if (move == Move::None)
            return false;
        switch (move) {
        case Move::OtherPane:
            PanelOf(w) ? FocusSidebar() : FocusPanel(ShownPanel());
            break;
        case Move::NextPanel:
        case Move::PreviousPanel:
            ShowPanel(move == Move::NextPanel ? 1 : -1);
            break;
        default:
            MoveInSidebar(SidebarIndex(w), move == Move::NextButton ? 1 : -1);
            break;
        }
        return true;
    }

private:
    CDialog* PanelOf(const QWidget* w) const {
        for (const auto& p : m_panels)
            if (p.panel->GetSafeHwnd() && p.panel->GetSafeHwnd()->isAncestorOf(w))
                return p.panel;
        return nullptr;
    }

    int ShownPanel() const {
        for (std::size_t i = 0; i < m_panels.size(); ++i)
            if (m_panels[i].panel->IsWindowVisible())
                return int(i);
        return -1;
    }

    int SidebarIndex(const QWidget* w) const {
        for (std::size_t i = 0; i < m_sidebar.size(); ++i)
            if (m_window.GetDlgItem(m_sidebar[i]) == w)
                return int(i);
        return -1;
    }

    // To the shown panel's button, which tells where the user is.
    void FocusSidebar() {
        const int shown = ShownPanel();
        QWidget* button =
            shown < 0 ? nullptr : m_window.GetDlgItem(m_panels[std::size_t(shown)].buttonId);
        if (CanTakeFocus(button))
            button->setFocus(Qt::OtherFocusReason);
        else
            MoveInSidebar(-1, 1);
    }

    // Back where the user left the panel, else to its first control in its own Tab order.
    void FocusPanel(int index) {
        if (index < 0)
            return;
        QWidget* panel = m_panels[std::size_t(index)].panel->GetSafeHwnd();
        QWidget* w = panel->focusWidget();
        if (!CanTakeFocus(w)) {
            w = panel->nextInFocusChain();
            while (w != panel && !(panel->isAncestorOf(w) && CanTakeFocus(w)))
                w = w->nextInFocusChain();
        }
        if (w != panel)
            w->setFocus(Qt::OtherFocusReason);
    }

    void ShowPanel(int step) {
        const int n = int(m_panels.size());
        if (n == 0)
            return;
        const int shown = ShownPanel();
        const int next = shown < 0 ? (step > 0 ? 0 : n - 1) : (shown + step + n) % n;
        // As a click would: the focus goes to the button first, so the panel being hidden
        // keeps the control it had (Qt would park the focus on the next one) and gets it back.
        if (auto* b = qobject_cast<QAbstractButton*>(
                m_window.GetDlgItem(m_panels[std::size_t(next)].buttonId))) {
            b->setFocus(Qt::OtherFocusReason);
            b->click();
        }
        FocusPanel(ShownPanel());
    }

    void MoveInSidebar(int from, int step) {
        const int n = int(m_sidebar.size());
        for (int i = from, tries = 0; tries < n; ++tries) {
            i = (i + step + n) % n;
            if (QWidget* b = m_window.GetDlgItem(m_sidebar[std::size_t(i)]); CanTakeFocus(b)) {
                b->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
    }

    CDialog& m_window;
    std::vector<int> m_sidebar;
    std::vector<PaneButton> m_panels;
};

} // namespace

void SetPaneKeys(CDialog& window, std::vector<int> sidebar, std::vector<PaneButton> panels) {
    if (window.GetSafeHwnd())
        new PaneKeyFilter(window, std::move(sidebar), std::move(panels));
}

} // namespace quillmar
