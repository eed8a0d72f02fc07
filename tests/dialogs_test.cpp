// The guide and the About box from each of their callers, and the icon.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "platform/locale/Translate.h"
#include "platform/ui/AppIcon.h"
#include "platform/ui/WinApp.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Templates.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStyle>
#include <QTest>
#include <clocale>
#include <gtest/gtest.h>

namespace quillmar::test {

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
        OnNextModal([&](CDialog& d) {
            EXPECT_EQ(d.GetSafeHwnd()->parentWidget(), main.GetSafeHwnd());
            EXPECT_EQ(d.GetSafeHwnd()->windowTitle(), guide ? "Tessarine Guide" : "About Quillmar");
            PressKey(d.GetSafeHwnd(), closeKey);
            EXPECT_FALSE(d.IsWindowVisible()) << "did not close";
            d.EndDialog(IDCANCEL); // a dialog left open would hang the test
        });
        open();
        EXPECT_EQ(main.TextPanel().IsWindowVisible(), panel == IDC_TEXT);
        EXPECT_EQ(main.FilePanel().IsWindowVisible(), panel == IDC_FILE);
    }
    EXPECT_EQ(main.TextPanel().GetFrame()->windowIcon().cacheKey(), AppIcon().cacheKey());
    EXPECT_EQ(AppIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
    AfxGetApp()->m_pMainWnd = nullptr;
}

// Each text in window that its control cannot show whole, in the control's font, wrapped where
// the control wraps; with the room it needs and the room it has.
static std::vector<std::string> CutTexts(QWidget* window) {
    std::vector<std::string> cut;
    const auto check = [&](const QString& text, int needs, int has) {
        if (needs > has)
            cut.push_back(
                QString("%1 (needs %2, has %3)").arg(text).arg(needs).arg(has).toStdString());
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QFontMetrics fm(w->font());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            const QString text = QString(b->text()).remove(QRegularExpression("&(?!&)"));
            const int mark = b->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 5;
            check(text, fm.horizontalAdvance(text) + (qobject_cast<QCheckBox*>(b) ? mark : 8),
                  b->width());
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            check(l->text(), l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().width(),
                  l->wordWrap() ? l->height() : l->width());
        } else if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) {
            check(g->title(), fm.horizontalAdvance(g->title()) + 16, g->width());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            check(e->text(), fm.horizontalAdvance(e->text()) + 4, e->width());
        }
    }
    return cut;
}

// Each shipped language as its user has it, and English (C) exactly as written: quillmar and
// the window speak it, every dialog (with every text of the status line) shows each text
// whole, and the sidebar stands on the side the reader starts from.
TEST(Dialogs, EveryLanguageInBothFrontEndsUncutAndOnItsReadingSide) {
    for (const std::string locale :
         {"C", "de_DE.UTF-8", "es_ES.UTF-8", "fr_FR.UTF-8", "he_IL.UTF-8"}) {
        SCOPED_TRACE(locale);
        ASSERT_TRUE(std::setlocale(LC_MESSAGES, locale.c_str())) << "not installed";
        ApplyLanguage();
        const bool english = CatalogueLanguage().empty();
        QProcess cli; // as a user runs it, in that language
        cli.setEnvironment({QString::fromStdString("LC_ALL=" + locale)});
        cli.setProcessChannelMode(QProcess::MergedChannels);
        cli.start(QUILLMAR_OUTPUT_DIR "/quillmar", {"bogus"});
        cli.waitForFinished();
        const std::string said = cli.readAll().toStdString();
        EXPECT_EQ(said, "quillmar: " +
                            Fill(Tr("%1 (quillmar --help shows how)"),
                                 {Fill(Tr("unknown command '%1'"), {"bogus"})}) +
                            "\n");
        EXPECT_EQ(english,
                  said == "quillmar: unknown command 'bogus' (quillmar --help shows how)\n");
        CMainDlg main;
        main.Create(nullptr);
        EXPECT_EQ(english, main.TextPanel().GetDlgItemText(IDC_ENCRYPT) == "ENCRYPT");
        const QWidget* panel = main.TextPanel().GetFrame();
        EXPECT_EQ(main.GetItemRect(IDC_TEXT).left >=
                      panel->mapTo(main.GetSafeHwnd(), QPoint(panel->width(), 0)).x(),
                  RightToLeft());
        for (const DialogTemplate* tpl : {&kMainTemplate, &kTextTemplate, &kFileTemplate,
                                          &kGuideTemplate, &kAboutTemplate, &kMailTemplate}) {
            CDialog d(*tpl);
            d.Create(nullptr);
            for (const char* status : {str::kReady, str::kEncrypted, str::kDecrypted}) {
                d.SetDlgItemText(IDC_STATUS, Tr(status));
                EXPECT_EQ(CutTexts(d.GetSafeHwnd()), std::vector<std::string>{}) << tpl->caption;
            }
        }
    }
    std::setlocale(LC_MESSAGES, "C");
    ApplyLanguage();
}

} // namespace quillmar::test
