// The guide and the About box from each of their callers, and the icon.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "platform/AppIcon.h"
#include "platform/WinApp.h"
#include "res/Resource.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace quillmar;
using namespace quillmar::test;

namespace {

const char* const kGuideTexts[] = {
    "Text Encryption",
    "Step 1: Fill the password box.You can enter you own password or use random key which "
    "created by program. Keep it in a safe place. This encrypt arithemic is impossible to be "
    "decrypted whitout a correct password.",
    "Step 2: Put the text you want to enctypt into text box. You can paste them from the "
    "clipboard.",
    "Step 3: Click the ENCRYPT button. Just one click, your text is under strong protection:).",
    "Notic : Your password can be saved in file. Though you can load your password from files. "
    "After encryption, you can copy the encrypted text to cliopboard so you can keep it in other "
    "place.",
    "File Encryption",
    "Step 1: Click File button in the left of the dialog window. Select source file and appoint "
    "the target file to save the result.",
    "Step 2: Fill the password box.(Here you can also use paste/copy functions).",
    "Step 3: Click the ENCRYPT button. When you get the success notify, your file is encrypted "
    "into the target file.",
    "Mail Encryption",
    "Use text encryption to encrypt your mail. Then click Mail button. Fill AddSub box. Then "
    "click SEND. Your mail is send out.(perhapes this is the easiest way to send a safe mail in "
    "the world:)",
    "Thanks for using this software.",
};

// The text as drawn: rich text (mnemonics) reduced to its characters.
QString Shown(const QLabel* l) {
    if (l->textFormat() == Qt::PlainText)
        return l->text();
    QTextDocument doc;
    doc.setHtml(l->text());
    return doc.toPlainText();
}

QStringList ShownTexts(CDialog& d) {
    QStringList texts;
    for (auto* g : d.GetSafeHwnd()->findChildren<QGroupBox*>())
        texts << g->title();
    for (auto* l : d.GetSafeHwnd()->findChildren<QLabel*>())
        if (l->pixmap().isNull())
            texts << Shown(l);
    return texts;
}

// Every label's text fits the rectangle the template gives it.
void ExpectTextsFit(CDialog& d) {
    for (auto* l : d.GetSafeHwnd()->findChildren<QLabel*>()) {
        if (!l->pixmap().isNull())
            continue;
        if (l->wordWrap())
            EXPECT_LE(l->heightForWidth(l->width()), l->height()) << Shown(l).toStdString();
        else
            EXPECT_LE(l->sizeHint().width(), l->width()) << Shown(l).toStdString();
    }
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
        AfxGetApp()->m_pMainWnd = &main;
    }
    void TearDown() override { AfxGetApp()->m_pMainWnd = nullptr; }

    // Checks d is a modal child of the main window titled caption, runs check,
    // then lets close end it; a dialog that does not end fails and is ended.
    void OnModal(const char* caption, std::function<void(CDialog&)> check,
                 std::function<void(CDialog&)> close) {
        OnNextModal([=, this](CDialog& d) {
            ++opened;
            EXPECT_EQ(d.GetSafeHwnd()->windowTitle(), caption);
            EXPECT_EQ(d.GetSafeHwnd()->parentWidget(), main.GetSafeHwnd());
            EXPECT_EQ(QApplication::activeModalWidget(), d.GetSafeHwnd());
            EXPECT_EQ(d.GetSafeHwnd()->windowModality(), Qt::ApplicationModal);
            check(d);
            close(d);
            if (d.IsWindowVisible()) {
                ADD_FAILURE() << caption << " did not close";
                d.EndDialog(IDCANCEL);
            }
        });
    }
    // Gone after the run: each caller makes a fresh dialog.
    void ExpectNoWindowTitled(const char* caption) {
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_NE(w->windowTitle(), caption);
    }
    void ExpectShowing(CDialog& panel) {
        EXPECT_TRUE(panel.IsWindowVisible());
        CDialog& other = &panel == &main.TextPanel() ? static_cast<CDialog&>(main.FilePanel())
                                                     : main.TextPanel();
        EXPECT_FALSE(other.IsWindowVisible());
    }

    MessageRecorder recorder;
    CMainDlg main;
    int opened = 0;
};

void CheckGuide(CDialog& d) {
    const QStringList shown = ShownTexts(d);
    EXPECT_EQ(shown.size(), 13);
    for (const char* text : kGuideTexts)
        EXPECT_TRUE(shown.contains(text)) << text;
    EXPECT_TRUE(d.GetSafeHwnd()->findChildren<QPushButton*>().isEmpty());
    ExpectTextsFit(d);

    // "Add&Sub": the ampersand is hidden and S alone is underlined.
    for (auto* l : d.GetSafeHwnd()->findChildren<QLabel*>()) {
        if (!Shown(l).contains("AddSub"))
            continue;
        QTextDocument doc;
        doc.setHtml(l->text());
        const int s = int(doc.toPlainText().indexOf("AddSub")) + 3;
        QTextCursor c(&doc);
        c.setPosition(s + 1); // the format of the character left of the cursor
        EXPECT_TRUE(c.charFormat().fontUnderline());
        c.setPosition(s);
        EXPECT_FALSE(c.charFormat().fontUnderline());
        c.setPosition(s + 2);
        EXPECT_FALSE(c.charFormat().fontUnderline());
    }
}

TEST_F(Dialogs, HelpOpensTheGuideAndEscLeavesTheFilePanelShowing) {
    Click(main, IDC_FILE);
    OnModal("Tessarine Guide", CheckGuide,
            [](CDialog& d) { PressKey(d.GetSafeHwnd(), Qt::Key_Escape); });
    Click(main, IDC_HELP);
    EXPECT_EQ(opened, 1);
    ExpectShowing(main.FilePanel());
    ExpectNoWindowTitled("Tessarine Guide");
}

TEST_F(Dialogs, F1OpensTheGuideFromEitherPanelClosedByCloseBoxOrEnter) {
    QApplication::setActiveWindow(main.GetSafeHwnd());
    OnModal(
        "Tessarine Guide", [](CDialog&) {}, [](CDialog& d) { d.GetSafeHwnd()->close(); });
    QTest::keyClick(main.TextPanel().GetDlgItem(IDC_PASSWORD), Qt::Key_F1);
    EXPECT_EQ(opened, 1);
    ExpectShowing(main.TextPanel());

    Click(main, IDC_FILE);
    QApplication::setActiveWindow(main.GetSafeHwnd());
    OnModal(
        "Tessarine Guide", [](CDialog&) {},
        [](CDialog& d) { PressKey(d.GetSafeHwnd(), Qt::Key_Return); });
    QTest::keyClick(main.FilePanel().GetDlgItem(IDC_SOURCE), Qt::Key_F1);
    EXPECT_EQ(opened, 2);
    ExpectShowing(main.FilePanel());
}

void CheckAbout(CDialog& d) {
    const QStringList shown = ShownTexts(d);
    EXPECT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown.contains("Quillmar Version 1.5"));
    for (const QString& text : shown)
        EXPECT_FALSE(text.trimmed().isEmpty());
    EXPECT_EQ(shown.filter("example.org").size(), 1);
    ExpectTextsFit(d);

    auto* ok = qobject_cast<QPushButton*>(d.GetDlgItem(IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    // The icon is drawn, and nothing covers anything else.
    QList<QWidget*> parts;
    int icons = 0;
    for (auto* l : d.GetSafeHwnd()->findChildren<QLabel*>()) {
        icons += !l->pixmap().isNull();
        parts << l;
    }
    EXPECT_EQ(icons, 1);
    parts << ok;
    for (qsizetype i = 0; i < parts.size(); ++i)
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry()))
                << parts[i]->accessibleName().toStdString() << " / "
                << parts[j]->accessibleName().toStdString();
}

TEST_F(Dialogs, AboutFromTheSidebarEndsWithEscOrOk) {
    Click(main, IDC_FILE);
    OnModal("About Quillmar", CheckAbout,
            [](CDialog& d) { PressKey(d.GetSafeHwnd(), Qt::Key_Escape); });
    Click(main, IDC_ABOUT);
    OnModal(
        "About Quillmar", [](CDialog&) {}, [](CDialog& d) { Click(d, IDOK); });
    Click(main, IDC_ABOUT);
    EXPECT_EQ(opened, 2);
    ExpectShowing(main.FilePanel());
    ExpectNoWindowTitled("About Quillmar");
}

TEST_F(Dialogs, TextPanelSystemMenuOpensTheSameAboutBoxOwnedByTheMainWindow) {
    auto* frame = qobject_cast<QMdiSubWindow*>(main.TextPanel().GetFrame());
    ASSERT_NE(frame, nullptr);
    QAction* item = nullptr;
    for (QAction* a : frame->systemMenu()->actions())
        if (a->text() == "&About Tessarine...")
            item = a;
    ASSERT_NE(item, nullptr);
    OnModal("About Quillmar", CheckAbout,
            [](CDialog& d) { PressKey(d.GetSafeHwnd(), Qt::Key_Escape); });
    item->trigger();
    EXPECT_EQ(opened, 1);
    ExpectShowing(main.TextPanel());
}

TEST(AppIcon, IsCompiledInAtEverySizeAndUsedByTheTextPanel) {
    const QList<QSize> sizes = AppIcon().availableSizes();
    for (int s : {16, 32, 48})
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    CMainDlg main;
    main.Create(nullptr);
    EXPECT_EQ(main.TextPanel().GetFrame()->windowIcon().cacheKey(), AppIcon().cacheKey());
}

} // namespace
