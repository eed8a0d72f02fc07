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
#include <QRegularExpression>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <clocale>
#include <cstdio>
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

// What a shell command printed, standard error included.
static std::string Output(const std::string& command) {
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    for (char buf[4096]; p && std::fgets(buf, sizeof buf, p);)
        out += buf;
    if (p)
        ::pclose(p);
    return out;
}

// Each of the widgets' texts that its control cannot show whole, as drawn in the control's
// font, wrapped where the control wraps; with the room it would need and the room it has.
static std::vector<std::string> CutTexts(const QList<QWidget*>& widgets) {
    std::vector<std::string> cut;
    const auto check = [&](const QString& text, int needs, int has) {
        if (needs > has)
            cut.push_back(text.toStdString() + " (needs " + std::to_string(needs) + ", has " +
                          std::to_string(has) + ")");
    };
    for (QWidget* w : widgets) {
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            const QString text = QString(b->text()).remove(QRegularExpression("&(?!&)"));
            const int margin = qobject_cast<QCheckBox*>(b)
                                   ? b->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 5
                                   : 8;
            check(text, QFontMetrics(b->font()).horizontalAdvance(text) + margin, b->width());
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->wordWrap())
                check(l->text(), l->heightForWidth(l->width()), l->height());
            else
                check(l->text(), l->sizeHint().width(), l->width());
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            if (!g->title().isEmpty())
                check(g->title(), QFontMetrics(g->font()).horizontalAdvance(g->title()) + 16,
                      g->width());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            check(e->text(), e->fontMetrics().horizontalAdvance(e->text()) + 4, e->width());
        }
    }
    return cut;
}

// One row a language: the locale a user would have, the catalogue, and a text from each front
// end as that user reads it. "C" is English, exactly as written.
struct Language {
    const char* locale;
    const char* catalogue;
    const char* encrypt;  // the text panel's ENCRYPT button
    const char* cliUsage; // quillmar's reply to an unknown command, "bogus"
};

class Languages : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override { Switch(GetParam().locale); }
    void TearDown() override { Switch("C"); }
    static void Switch(const char* locale) {
        ASSERT_TRUE(std::setlocale(LC_MESSAGES, locale)) << locale << " is not installed";
        ApplyLanguage();
    }
};

TEST_P(Languages, CompleteCatalogueBothFrontEndsNoTextCutAndRightToLeftMirrored) {
    const Language& lang = GetParam();
    const std::string catalogue = lang.catalogue;
    if (!catalogue.empty()) { // up to date with the template, every message translated
        const std::string statistics =
            Output("msgmerge --quiet " QUILLMAR_SOURCE_DIR "/po/" + catalogue +
                   ".po " QUILLMAR_SOURCE_DIR "/po/quillmar.pot -o - | msgfmt --check "
                   "--statistics -o /dev/null -");
        EXPECT_TRUE(QRegularExpression("^[0-9]+ translated messages\\.\n$")
                        .match(QString::fromStdString(statistics))
                        .hasMatch())
            << statistics;
    }
    EXPECT_EQ(CatalogueLanguage(), catalogue);
    EXPECT_EQ(Output("LANGUAGE= LC_ALL=" + std::string(lang.locale) +
                     " " QUILLMAR_OUTPUT_DIR "/quillmar bogus"),
              "quillmar: " + std::string(lang.cliUsage) + "\n");

    CMainDlg main;
    main.Create(nullptr);
    main.ShowWindow(SW_SHOWNORMAL);
    EXPECT_EQ(main.TextPanel().GetDlgItemText(IDC_ENCRYPT), lang.encrypt);
    // The sidebar stands on the side a reader starts from.
    const QWidget* panel = main.TextPanel().GetFrame();
    const int sidebar = main.GetItemRect(IDC_TEXT).left;
    if (RightToLeft())
        EXPECT_GT(sidebar, panel->mapTo(main.GetSafeHwnd(), QPoint(panel->width(), 0)).x() - 1);
    else
        EXPECT_LT(sidebar, panel->mapTo(main.GetSafeHwnd(), QPoint(0, 0)).x());
    for (const DialogTemplate* tpl : {&kMainTemplate, &kTextTemplate, &kFileTemplate,
                                      &kGuideTemplate, &kAboutTemplate, &kMailTemplate}) {
        CDialog d(*tpl);
        d.Create(nullptr);
        EXPECT_EQ(CutTexts(d.GetSafeHwnd()->findChildren<QWidget*>()), std::vector<std::string>{})
            << tpl->caption;
        if (tpl == &kTextTemplate) // every text the status line shows
            for (const char* status : {str::kReady, str::kEncrypted, str::kDecrypted}) {
                d.SetDlgItemText(IDC_STATUS, Tr(status));
                EXPECT_EQ(CutTexts({d.GetDlgItem(IDC_STATUS)}), std::vector<std::string>{});
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, Languages,
    ::testing::Values(
        Language{"C", "", "ENCRYPT", "unknown command 'bogus' (quillmar --help shows how)"},
        Language{"de_DE.UTF-8", "de", "VERSCHLÜSSELN",
                 "unbekannter Befehl „bogus“ (quillmar --help zeigt, wie es geht)"},
        Language{"es_ES.UTF-8", "es", "CIFRAR",
                 "orden desconocida «bogus» (quillmar --help explica cómo)"},
        Language{"fr_FR.UTF-8", "fr", "CHIFFRER",
                 "commande inconnue «\u00A0bogus\u00A0» (quillmar --help explique comment faire)"},
        Language{"he_IL.UTF-8", "he", "הצפנה",
                 "פקודה לא ידועה ‚bogus’ (\u200Fquillmar --help מסביר איך)"}),
    [](const auto& info) {
        return std::string(*info.param.catalogue ? info.param.catalogue : "C");
    });

} // namespace quillmar::test
