// Building a dialog's widgets from its template, in dialog units of its font.
#include "platform/ui/Dialog.h"

#include "platform/locale/Translate.h"
#include "platform/ui/AppIcon.h"
#include "platform/ui/DialogWindow.h"
#include "platform/ui/WinApp.h"

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
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>

#include <array>
#include <limits>

namespace quillmar {

namespace {

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

// A masked field shows each character as '*', whatever the desktop's style draws.
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A control that draws its text over whatever the dialog painted behind it.
void DrawWithoutBackground(QWidget* w) {
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

// The widget for a row of kind Edit.
QWidget* MakeEdit(const ControlTemplate& row, QWidget* parent) {
    if (row.style & CS_MULTILINE) {
        auto* e = new QPlainTextEdit(parent);
        e->setTabChangesFocus(true);
        if (row.style & CS_NOBORDER)
            e->setFrameShape(QFrame::NoFrame);
        return e;
    }
    auto* e = new QLineEdit(parent);
    // Owned by the field: the widget does not take its style.
    auto* style = new StarPasswordStyle;
    style->setParent(e);
    e->setStyle(style);
    e->setMaxLength(std::numeric_limits<int>::max());
    e->setEchoMode((row.style & CS_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
    e->setFrame(!(row.style & CS_NOBORDER));
    if (row.style & CS_CENTER)
        e->setAlignment(Qt::AlignCenter);
    else
        // A password or a path is written left to right in any language.
        e->setLayoutDirection(Qt::LeftToRight);
    return e;
}

QWidget* MakeStatic(const ControlTemplate& row, const QString& caption, QWidget* parent) {
    auto* l = new QLabel(parent);
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
    return l;
}

// The widget a row asks for, unplaced.
QWidget* MakeControl(const ControlTemplate& row, const QString& caption, QWidget* parent) {
    switch (row.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* b = new QPushButton(caption, parent);
        b->setAutoDefault(row.kind == ControlKind::DefPushButton);
        b->setDefault(row.kind == ControlKind::DefPushButton);
        return b;
    }
    case ControlKind::Edit:
        return MakeEdit(row, parent);
    case ControlKind::Static:
        return MakeStatic(row, caption, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(caption, parent);
    case ControlKind::ComboBox: {
        auto* c = new QComboBox(parent);
        c->setEditable(false);
        return c;
    }
    case ControlKind::CheckBox: {
        auto* c = new QCheckBox(caption, parent);
        // As close to its mark as a check box caption sits on Windows.
        c->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
        return c;
    }
    case ControlKind::Icon: {
        auto* l = new QLabel(parent);
        l->setPixmap(AppIcon().pixmap(32, 32));
        return l;
    }
    }
    return nullptr;
}

// Labels, frames and icons only show: they take neither clicks nor the focus.
bool IsDecoration(ControlKind kind) {
    return kind == ControlKind::Static || kind == ControlKind::GroupBox ||
           kind == ControlKind::Icon;
}

} // namespace

void CDialog::Build(QWidget* parentWidget) {
    DestroyWindow();
    m_window = new DialogWindow(this, parentWidget);
    m_window->setWindowTitle(QString::fromUtf8(Tr(m_tpl.caption)));
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
    const QString caption = QString::fromUtf8(Tr(row.caption));
    QWidget* w = MakeControl(row, caption, m_window);
    // A language whose words do not fit may carry the control's own place.
    const auto [x, y, width, h] = TranslatedPlace(m_tpl.id, int(&row - m_tpl.controls.data()))
                                      .value_or(std::array{row.x, row.y, row.w, row.h});
    // A combo box's template height includes the dropped-down list.
    const int height = row.kind == ControlKind::ComboBox ? w->sizeHint().height() : MapY(h);
    w->setGeometry(MapX(x), MapY(y), MapX(width), height);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        FitCaption(b);
    const bool decoration = IsDecoration(row.kind);
    w->setFocusPolicy((row.style & CS_TABSTOP) && !decoration ? Qt::StrongFocus : Qt::NoFocus);
    if (decoration)
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
    w->setEnabled(!(row.style & CS_DISABLED));
    w->setAccessibleName(row.accessibleName ? QString::fromUtf8(Tr(row.accessibleName))
                                            : StripMnemonic(caption));
    if (row.style & CS_TRANSPARENT)
        DrawWithoutBackground(w);
    if (row.kind == ControlKind::GroupBox)
        w->lower(); // frames never cover the controls they hold
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        const int id = row.id;
        QObject::connect(b, &QAbstractButton::clicked, m_window, [this, id] { OnCommand(id); });
    }
    if (row.id != kNoId)
        m_controls[row.id] = w;
}

// In a right-to-left language the whole dialog reads from the right: each control (and a
// panel area with its panels) takes the mirror image of its place, as the template and
// OnInitDialog laid them out from the left. Labels and frames follow the application's
// direction by themselves.
void CDialog::MirrorForRightToLeft() {
    if (!m_window || QGuiApplication::layoutDirection() != Qt::RightToLeft)
        return;
    const auto mirror = [](QWidget* w, int width) { w->move(width - w->x() - w->width(), w->y()); };
    for (QObject* child : m_window->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow())
            continue;
        mirror(w, m_window->width());
        if (auto* area = qobject_cast<QMdiArea*>(w))
            for (QMdiSubWindow* sub : area->subWindowList())
                mirror(sub, area->width());
    }
}

int CDialog::MapX(int du) const {
    return (du * m_baseX + 2) / 4;
}
int CDialog::MapY(int du) const {
    return (du * m_baseY + 4) / 8;
}

CRect CDialog::GetItemRect(int id) const {
    const QWidget* w = GetDlgItem(id);
    if (!w)
        return {};
    const QRect r = w->geometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

} // namespace quillmar
