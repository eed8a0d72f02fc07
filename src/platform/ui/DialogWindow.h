#pragma once
// The widget behind a CDialog: forwards Enter, Esc and the close box to it.

#include <QDialog>

namespace quillmar {

class CDialog;

class DialogWindow : public QDialog {
    Q_OBJECT
public:
    DialogWindow(CDialog* dialog, QWidget* parent) : QDialog(parent), m_dialog(dialog) {}
    ~DialogWindow() override;
    CDialog* Dialog() const { return m_dialog; }
    void Detach() { m_dialog = nullptr; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    CDialog* m_dialog;
};

} // namespace quillmar
