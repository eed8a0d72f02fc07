#pragma once
// CDialog: a dialog built from a template held as data. Program code talks to
// its controls by identifier only; the widgets stay inside this layer.

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/Types.h"

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
class QMdiArea;
class QMdiSubWindow;

namespace quillmar {

class DialogWindow;

enum class ClipboardContent { Plain, Secret };

// One row of a dialog class's command table: a control identifier and the
// member that handles a click on it.
template <class T> struct CommandEntry {
    int id;
    void (T::*handler)();
};

class CDialog {
public:
    explicit CDialog(const DialogTemplate& tpl);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally, owned by the application's main window; returns its end code.
    // The main window itself runs so too, but as a window of its own, not a modal dialog.
    int DoModal();
    // With a parent: a panel inside the parent's panel area (hidden unless the template
    // says visible). Without: a top-level window that is not modal (tests use this).
    bool Create(CDialog* parent);
    void EndDialog(int result);
    void DestroyWindow();

    void ShowWindow(int cmd);
    bool IsWindowVisible() const;
    // Moves a panel to x, y pixels of its parent's client area, keeping its size.
    void SetWindowPos(int x, int y);
    void RedrawWindow();
    // The lowest pixel row taken by this dialog's panels.
    int PanelAreaBottom() const;
    // Moves every control from pixel row y downwards by dy, growing the dialog.
    void MoveControlsBelow(int y, int dy);

    // Converts dialog units of this dialog's font to pixels.
    int MapX(int du) const;
    int MapY(int du) const;
    // Where a control sits in the dialog, as built from the template.
    CRect GetItemRect(int id) const;

    // Controls, by identifier.
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, std::string_view utf8);
    // Replaces a multi-line field's text as one step that Undo takes back; no earlier step
    // stays behind it. SetDlgItemText leaves nothing to undo at all.
    void ReplaceDlgItemText(int id, std::string_view utf8);
    bool IsDlgButtonChecked(int id) const;
    void SetPasswordChar(int id, char ch); // 0 shows the text plainly
    bool IsMasked(int id) const;
    // The whole field, whatever its mask; a secret is marked so for clipboard managers.
    void CopyToClipboard(int id, ClipboardContent content = ClipboardContent::Plain);
    void ReplaceFromClipboard(int id); // empties the field, then pastes
    void AddComboString(int id, std::string_view text);
    void SetComboSel(int id, int index);
    void AppendSystemMenuItem(int command, std::string_view text);
    void SetIcon();

    // The widget of a control or of the dialog itself; for this layer and for tests.
    QWidget* GetDlgItem(int id) const;
    QWidget* GetSafeHwnd() const;
    QWidget* GetFrame() const; // a panel's captioned frame, or the dialog itself
    static CDialog* FromWidget(const QWidget* w);
    bool IsModalRun() const { return m_modal; }

protected:
    virtual bool OnInitDialog() { return true; }
    // Enter and Esc; a modal dialog ends with them by default, a panel ignores them.
    virtual void OnOK();
    virtual void OnCancel();
    // The close box.
    virtual void OnClose();
    virtual void OnSysCommand(int command) { (void)command; }

    template <class T, std::size_t N>
    void SetCommandTable(T* self, const CommandEntry<T> (&table)[N]) {
        for (const auto& e : table)
            m_commands[e.id] = [self, h = e.handler] { (self->*h)(); };
    }

    QWidget* OwnerWindow() const;

private:
    friend class DialogWindow;
    void Build(QWidget* parentWidget);
    void BuildTopLevel(QWidget* owner, Qt::WindowType type);
    void BuildControl(const ControlTemplate& row);
    void MirrorForRightToLeft();
    void OnCommand(int id);
    void HandleEnter();

    const DialogTemplate& m_tpl;
    void WindowDestroyed();

    // Guarded: a panel's widgets go when its parent dialog's window goes.
    QPointer<DialogWindow> m_window;
    QPointer<QMdiSubWindow> m_frame;
    QPointer<QMdiArea> m_panelArea; // where this dialog's child panels live
    std::map<int, QWidget*> m_controls;
    std::map<int, std::function<void()>> m_commands;
    int m_baseX = 6, m_baseY = 13;
    bool m_modal = false;
    int m_result = IDCANCEL;
};

} // namespace quillmar
