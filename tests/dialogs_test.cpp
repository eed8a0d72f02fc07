// The guide and the About box from each of their callers, and the icon.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "platform/ui/AppIcon.h"
#include "platform/ui/WinApp.h"
#include "res/Resource.h"
#include "res/Templates.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace quillmar::test {

// The title, then every text as drawn, whitespace folded, underlined characters (mnemonics) in
// brackets; a picture shows as "(icon)". One text a line, sorted.
static std::string ShownTexts(QWidget* w) {
    QStringList texts = {w->windowTitle()};
    for (auto* g : w->findChildren<QGroupBox*>())
        texts << g->title();
    for (auto* l : w->findChildren<QLabel*>()) {
        QTextDocument doc;
        doc.setHtml(l->textFormat() == Qt::RichText ? l->text() : l->text().toHtmlEscaped());
        texts << (l->pixmap().isNull() ? "" : "(icon)");
        for (auto f = doc.begin().begin(); !f.atEnd(); ++f)
            texts.back() += QString(f.fragment().charFormat().fontUnderline() ? "[%1]" : "%1")
                                .arg(f.fragment().text());
    }
    texts.sort();
    return texts.join('\n').toStdString();
}

// What a template says is drawn, as ShownTexts gives it. "&X" marks a mnemonic, which must
// show underlined.
static std::string TemplateTexts(const DialogTemplate& tpl) {
    QStringList texts = {QString::fromUtf8(tpl.caption)};
    for (const ControlTemplate& row : tpl.controls) {
        if (row.kind == ControlKind::Icon)
            texts << "(icon)";
        else if (row.kind == ControlKind::Static || row.kind == ControlKind::GroupBox)
            texts << QString(row.caption).replace(QRegularExpression("&(.)"), "[\\1]").simplified();
    }
    texts.sort();
    return texts.join('\n').toStdString();
}

TEST(Dialogs, EachCallerOpensItsDialogOverTheMainWindowAndLeavesThePanelAndIconsAreBuiltIn) {
    CMainDlg main;
    main.Create(nullptr);
    main.ShowWindow(SW_SHOWNORMAL);
    AfxGetApp()->m_pMainWnd = &main;
    QAction* aboutItem = // the last item of the text panel's system menu
        qobject_cast<QMdiSubWindow*>(main.TextPanel().GetFrame())->systemMenu()->actions().last();
    const auto f1 = [](QWidget* w) { return [w] { QTest::keyClick(w, Qt::Key_F1); }; };
    for (const auto& [panel, open, guide, closeKey] :
         std::vector<std::tuple<int, std::function<void()>, bool, int>>{
             {IDC_FILE, [&] { Click(main, IDC_HELP); }, true, Qt::Key_Escape},
             {IDC_TEXT, f1(main.TextPanel().GetDlgItem(IDC_PASSWORD)), true, Qt::Key_Escape},
             {IDC_FILE, f1(main.FilePanel().GetDlgItem(IDC_SOURCE)), true, Qt::Key_Return},
             {IDC_FILE, [&] { Click(main, IDC_ABOUT); }, false, Qt::Key_Escape},
             {IDC_TEXT, [&] { aboutItem->trigger(); }, false, Qt::Key_Return}, // Enter presses OK
         }) {
        SCOPED_TRACE((guide ? "guide from panel " : "About from panel ") + std::to_string(panel));
        Click(main, panel);
        QApplication::setActiveWindow(main.GetSafeHwnd()); // F1 acts in the active window
        std::string shown;
        OnNextModal([&](CDialog& d) {
            EXPECT_EQ(d.GetSafeHwnd()->parentWidget(), main.GetSafeHwnd());
            shown = ShownTexts(d.GetSafeHwnd());
            for (auto* l : d.GetSafeHwnd()->findChildren<QLabel*>()) // no text is cut
                EXPECT_LE(l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().width(),
                          l->wordWrap() ? l->height() : l->width())
                    << l->text().toStdString();
            PressKey(d.GetSafeHwnd(), closeKey);
            EXPECT_FALSE(d.IsWindowVisible()) << "did not close";
            d.EndDialog(IDCANCEL); // a dialog left open would hang the test
        });
        open();
        EXPECT_EQ(shown, TemplateTexts(guide ? kGuideTemplate : kAboutTemplate));
        EXPECT_EQ(main.TextPanel().IsWindowVisible(), panel == IDC_TEXT);
        EXPECT_EQ(main.FilePanel().IsWindowVisible(), panel == IDC_FILE);
    }
    EXPECT_EQ(main.TextPanel().GetFrame()->windowIcon().cacheKey(), AppIcon().cacheKey());
    EXPECT_EQ(AppIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
    AfxGetApp()->m_pMainWnd = nullptr;
}

} // namespace quillmar::test
