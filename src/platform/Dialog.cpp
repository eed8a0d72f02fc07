#include "Dialog.h"

#include "AppIcon.h"
#include "DialogWindow.h"
#include "WinApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <limits>

namespace quillmar {

namespace {

QString FromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The shell dialog font stands for whatever the desktop uses; named fonts are
// asked for by name and fontconfig supplies the nearest face it has.
QFont ResolveFont(const char* name, int pointSize) {
    QFont font = QApplication::font();
    if (name && std::string_view(name) != "MS Shell Dlg")
        font.setFamilies({QString::fromUtf8(name), QApplication::font().family()});
    font.setPointSize(pointSize);
    return font;
}

// "&&" is a literal ampersand; "&x" marks x as the mnemonic.
QString StripMnemonic(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&') && i + 1 < s.size())
            ++i;
        out += s[i];
    }
    return out;
}

QString MnemonicToRichText(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&') && i + 1 < s.size()) {
            ++i;
            if (s[i] == QLatin1Char('&'))
                out += QStringLiteral("&amp;");
            else
                out +=
                    QStringLiteral("<u>") + QString(s[i]).toHtmlEscaped() + QStringLiteral("</u>");
            continue;
        }
        out += QString(s[i]).toHtmlEscaped();
    }
    return out;
}

// Labels, group boxes, notices and the Mask check box draw their text over
// whatever the dialog painted behind them.
void ApplyControlColourRule(QWidget* w, int id) {
    if (id != kNoId && id != 1035)
        return;
    w->setAutoFillBackground(false);
    w->setAttribute(Qt::WA_NoSystemBackground, true);
    w->setAttribute(Qt::WA_TranslucentBackground, true);
}

// Our buttons draw wider margins and check marks than the templates were laid
// out for: a caption that would be cut is drawn in a smaller size instead.
void FitCaption(QAbstractButton* b) {
    const QString text = StripMnemonic(b->text());
    if (text.isEmpty())
        return;
    int extra = 8;
    if (qobject_cast<QCheckBox*>(b))
        extra = b->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) + 5;
    QFont f = b->font();
    const qreal smallest = std::max<qreal>(5.0, f.pointSizeF() * 0.8);
    while (QFontMetrics(f).horizontalAdvance(text) + extra > b->width() &&
           f.pointSizeF() - 0.5 >= smallest)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    if (f != b->font())
        b->setFont(f);
}

} // namespace

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

void CDialog::Build(QWidget* parentWidget) {
    DestroyWindow();
    m_window = new DialogWindow(this, parentWidget);
    m_window->setWindowTitle(QString::fromUtf8(m_tpl.caption));
    const QFont font = ResolveFont(m_tpl.fontName, m_tpl.pointSize);
    m_window->setFont(font);
    const QFontMetrics fm(font);
    const int cx = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (cx / 26 + 1) / 2);
    m_baseY = std::max(1, fm.height());
    m_window->setFixedSize(MapX(m_tpl.w), MapY(m_tpl.h));
    for (const auto& row : m_tpl.controls)
        BuildControl(row);
}

void CDialog::BuildControl(const ControlTemplate& row) {
    const QString caption = QString::fromUtf8(row.caption ? row.caption : "");
    QWidget* w = nullptr;
    int height = MapY(row.h);
    switch (row.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* b = new QPushButton(caption, m_window);
        b->setAutoDefault(row.kind == ControlKind::DefPushButton);
        b->setDefault(row.kind == ControlKind::DefPushButton);
        w = b;
        break;
    }
    case ControlKind::Edit:
        if (row.style & CS_MULTILINE) {
            auto* e = new QPlainTextEdit(m_window);
            e->setTabChangesFocus(true);
            e->setReadOnly(row.style & CS_READONLY);
            if (row.style & CS_NOBORDER)
                e->setFrameShape(QFrame::NoFrame);
            w = e;
        } else {
            auto* e = new QLineEdit(m_window);
            e->setMaxLength(std::numeric_limits<int>::max());
            e->setEchoMode((row.style & CS_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
            e->setFrame(!(row.style & CS_NOBORDER));
            e->setReadOnly(row.style & CS_READONLY);
            if (row.style & CS_CENTER)
                e->setAlignment(Qt::AlignCenter);
            w = e;
        }
        break;
    case ControlKind::Static: {
        auto* l = new QLabel(m_window);
        if (row.style & CS_NOPREFIX) {
            l->setTextFormat(Qt::PlainText);
            l->setText(caption);
        } else {
            l->setTextFormat(Qt::RichText);
            l->setText(MnemonicToRichText(caption));
        }
        l->setWordWrap(!(row.style & CS_NOWRAP));
        Qt::Alignment a = (row.style & CS_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
        a |= (row.style & CS_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
        l->setAlignment(a);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = l;
        break;
    }
    case ControlKind::GroupBox: {
        auto* g = new QGroupBox(caption, m_window);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = g;
        break;
    }
    case ControlKind::ComboBox: {
        auto* c = new QComboBox(m_window);
        c->setEditable(false);
        // The template height includes the dropped-down list.
        height = c->sizeHint().height();
        w = c;
        break;
    }
    case ControlKind::CheckBox:
        w = new QCheckBox(caption, m_window);
        // As close to its mark as a check box caption sits on Windows.
        w->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
        break;
    case ControlKind::Icon: {
        auto* l = new QLabel(m_window);
        l->setPixmap(AppIcon().pixmap(32, 32));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = l;
        break;
    }
    }
    w->setGeometry(MapX(row.x), MapY(row.y), MapX(row.w), height);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        FitCaption(b);
    w->setFocusPolicy((row.style & CS_TABSTOP) ? Qt::StrongFocus : Qt::NoFocus);
    if (row.kind == ControlKind::Static || row.kind == ControlKind::GroupBox ||
        row.kind == ControlKind::Icon)
        w->setFocusPolicy(Qt::NoFocus);
    w->setEnabled(!(row.style & CS_DISABLED));
    w->setAccessibleName(row.accessibleName ? QString::fromUtf8(row.accessibleName)
                                            : StripMnemonic(caption));
    if (m_tpl.style & DS_COLOUR_RULE)
        ApplyControlColourRule(w, row.id);
    if (row.kind == ControlKind::GroupBox)
        w->lower(); // frames never cover the controls they hold
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        const int id = row.id;
        QObject::connect(b, &QAbstractButton::clicked, m_window, [this, id] { OnCommand(id); });
    }
    if (row.id != kNoId)
        m_controls[row.id] = w;
}

int CDialog::MapX(int du) const {
    return (du * m_baseX + 2) / 4;
}
int CDialog::MapY(int du) const {
    return (du * m_baseY + 4) / 8;
}

int CDialog::DoModal() {
    Build(OwnerWindow());
    m_modal = true;
    m_window->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    m_window->setWindowModality(Qt::ApplicationModal);
    m_window->setWindowIcon(AppIcon());
    m_result = IDCANCEL;
    OnInitDialog();
    m_window->exec();
    const int result = m_result;
    m_modal = false;
    DestroyWindow();
    return result;
}

bool CDialog::Create(CDialog* parent) {
    if (!parent) {
        Build(nullptr);
        m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        m_window->setWindowIcon(AppIcon());
        OnInitDialog();
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
    m_frame->setWindowTitle(QString::fromUtf8(m_tpl.caption));
    m_frame->setWindowIcon(AppIcon());
    m_frame->setOption(QMdiSubWindow::RubberBandMove, false);
    parent->m_panelArea->addSubWindow(m_frame);
    m_frame->hide();
    m_frame->adjustSize();
    OnInitDialog();
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

std::string CDialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    QString s;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        s = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        s = p->toPlainText();
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        s = b->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        s = c->currentText();
    else if (auto* l = qobject_cast<QLabel*>(w))
        s = l->text();
    const QByteArray utf8 = s.toUtf8();
    return std::string(utf8.constData(), std::size_t(utf8.size()));
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

void CDialog::CopyToClipboard(int id) {
    QWidget* w = GetDlgItem(id);
    // Straight from the field's text: the field itself refuses to copy while masked.
    QApplication::clipboard()->setText(FromUtf8(GetDlgItemText(id)));
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
    QAction* a = menu->addAction(FromUtf8(text));
    a->setData(command);
    QObject::connect(a, &QAction::triggered, m_window, [this, command] { OnSysCommand(command); });
}

void CDialog::SetIcon() {
    if (m_frame)
        m_frame->setWindowIcon(AppIcon());
    if (m_window)
        m_window->setWindowIcon(AppIcon());
}

} // namespace quillmar
