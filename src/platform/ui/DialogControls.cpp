// What a dialog's handlers do with its controls: texts, check boxes, the
// password character, the clipboard, combo boxes, the system menu.
#include "platform/ui/Dialog.h"

#include "platform/locale/Translate.h"
#include "platform/os/Wipe.h"
#include "platform/ui/AppIcon.h"
#include "platform/ui/DialogWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

namespace quillmar {

namespace {

// QString::fromUtf8 drops a byte order mark at the start, which would change
// a text that begins with one.
QString FromUtf8(std::string_view s) {
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                      QStringConverter::Flag::Stateless);
    return decode(QByteArrayView(s.data(), qsizetype(s.size())));
}

// The characters a multi-line field holds. toPlainText() would turn no-break
// spaces into spaces and line separators into line breaks, so the module would
// get another text than the user's; only the field's own paragraph breaks
// become the line breaks they stand for.
QString ExactText(const QPlainTextEdit* edit) {
    QString s = edit->document()->toRawText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return s;
}

} // namespace

std::string CDialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    QString s;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        s = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        s = ExactText(p);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        s = b->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        s = c->currentText();
    else if (auto* l = qobject_cast<QLabel*>(w))
        s = l->text();
    QByteArray utf8 = s.toUtf8();
    std::string result(utf8.constData(), std::size_t(utf8.size()));
    // The field may hold a password: leave no stray copy of it behind.
    SecureWipe(utf8.data(), std::size_t(utf8.size()));
    return result;
}

void CDialog::SetDlgItemText(int id, std::string_view utf8) {
    QWidget* w = GetDlgItem(id);
    const QString s = FromUtf8(utf8);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(s);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(s);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(s);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(s);
}

void CDialog::ReplaceDlgItemText(int id, std::string_view utf8) {
    auto* p = qobject_cast<QPlainTextEdit*>(GetDlgItem(id));
    if (!p) {
        SetDlgItemText(id, utf8);
        return;
    }
    // Switching the history off and on empties it and lets go of the texts it held.
    QTextDocument* doc = p->document();
    doc->setUndoRedoEnabled(false);
    doc->setUndoRedoEnabled(true);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(FromUtf8(utf8));
    cursor.endEditBlock();
    p->moveCursor(QTextCursor::Start);
}

bool CDialog::IsDlgButtonChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return b && b->isChecked();
}

void CDialog::SetPasswordChar(int id, char ch) {
    if (auto* e = qobject_cast<QLineEdit*>(GetDlgItem(id)))
        e->setEchoMode(ch ? QLineEdit::Password : QLineEdit::Normal);
}

bool CDialog::IsMasked(int id) const {
    auto* e = qobject_cast<QLineEdit*>(GetDlgItem(id));
    return e && e->echoMode() != QLineEdit::Normal;
}

void CDialog::CopyToClipboard(int id, ClipboardContent content) {
    QWidget* w = GetDlgItem(id);
    // Straight from the field's text: the field itself refuses to copy while masked.
    auto* data = new QMimeData;
    data->setText(FromUtf8(GetDlgItemText(id)));
    // Clipboard managers that keep a history leave out what is marked secret.
    if (content == ClipboardContent::Secret)
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QApplication::clipboard()->setMimeData(data);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->deselect();
        e->setCursorPosition(0);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->moveCursor(QTextCursor::Start);
        p->ensureCursorVisible();
    }
}

void CDialog::ReplaceFromClipboard(int id) {
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->selectAll();
        e->del();
        e->paste();
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->selectAll();
        p->textCursor().removeSelectedText();
        p->paste();
        p->ensureCursorVisible();
    }
}

void CDialog::AddComboString(int id, std::string_view text) {
    auto* c = qobject_cast<QComboBox*>(GetDlgItem(id));
    if (!c)
        return;
    c->addItem(FromUtf8(text));
    if (const auto* row = [&]() -> const ControlTemplate* {
            for (const auto& r : m_tpl.controls)
                if (r.id == id)
                    return &r;
            return nullptr;
        }();
        row && (row->style & CS_SORT))
        c->model()->sort(0);
}

void CDialog::SetComboSel(int id, int index) {
    if (auto* c = qobject_cast<QComboBox*>(GetDlgItem(id)))
        c->setCurrentIndex(index);
}

void CDialog::AppendSystemMenuItem(int command, std::string_view text) {
    if (!m_frame || !m_frame->systemMenu())
        return;
    QMenu* menu = m_frame->systemMenu();
    menu->addSeparator();
    QAction* a = menu->addAction(QString::fromUtf8(Tr(std::string(text).c_str())));
    QObject::connect(a, &QAction::triggered, m_window, [this, command] { OnSysCommand(command); });
}

void CDialog::SetIcon() {
    if (m_frame)
        m_frame->setWindowIcon(AppIcon());
    if (m_window)
        m_window->setWindowIcon(AppIcon());
}

} // namespace quillmar
