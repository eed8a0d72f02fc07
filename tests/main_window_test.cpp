// Start-up, the sidebar and the window layer the dialogs are built on.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "platform/os/Module.h"
#include "platform/ui/WinApp.h"
#include "res/Resource.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmar;
using namespace quillmar::test;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        main.Create(nullptr);
        main.ShowWindow(SW_SHOWNORMAL);
    }
    MessageRecorder recorder;
    CMainDlg main;
};

TEST_F(MainWindow, StartsWithTextPanelBesideTheSidebarAndControlsAsTheirTemplatesSay) {
    CTextDlg& text = main.TextPanel();
    EXPECT_EQ(main.GetSafeHwnd()->windowTitle(), "Quillmar");
    EXPECT_TRUE(text.IsWindowVisible());
    EXPECT_FALSE(main.FilePanel().IsWindowVisible());
    // Both panels share one place, flush right of the sidebar, at the top.
    const int sidebarRight = main.GetDlgItem(IDC_TEXT)->geometry().right() + 1;
    EXPECT_EQ(text.GetFrame()->pos(), main.FilePanel().GetFrame()->pos());
    EXPECT_EQ(text.GetFrame()->mapTo(main.GetSafeHwnd(), QPoint(0, 0)), QPoint(sidebarRight, 0));
    // Nothing of the main window hides under a panel.
    const QRect panels = qobject_cast<QMdiSubWindow*>(text.GetFrame())->mdiArea()->geometry();
    for (int id : {IDC_HELP, IDC_TEXT, IDC_FILE, IDC_MAIL, IDC_ABOUT})
        EXPECT_FALSE(panels.intersects(main.GetDlgItem(id)->geometry())) << id;
    // Placed as their templates say: each window keeps its template's size, so none of its
    // controls is cut off, and no button covers another.
    for (CDialog* dlg : std::initializer_list<CDialog*>{&main, &text, &main.FilePanel()}) {
        const auto all = dlg->GetSafeHwnd()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (auto a = all.begin(); a != all.end(); ++a) {
            EXPECT_TRUE(dlg->GetSafeHwnd()->rect().contains((*a)->geometry())) << (*a)->pos().y();
            for (auto b = a + 1; b != all.end(); ++b)
                EXPECT_FALSE(qobject_cast<QPushButton*>(*a) && qobject_cast<QPushButton*>(*b) &&
                             (*a)->geometry().intersects((*b)->geometry()))
                    << (*a)->pos().y() << " / " << (*b)->pos().y();
        }
    }
}

// Switching keeps what the panels hold; a panel closed, or moved, comes back where it was.
TEST_F(MainWindow, SidebarSwitchesPanelsAndBringsBackAClosedOneAsItWas) {
    CTextDlg& text = main.TextPanel();
    text.SetDlgItemText(IDC_TEXTFIELD, "kept text");
    text.SetDlgItemText(IDC_PASSWORD, "kept pw");
    QWidget* frame = text.GetFrame();
    frame->move(frame->pos() + QPoint(5, 7));
    const QPoint moved = frame->pos();
    Click(main, IDC_FILE);
    EXPECT_FALSE(text.IsWindowVisible());
    EXPECT_TRUE(main.FilePanel().IsWindowVisible());
    Click(main, IDC_TEXT);
    frame->close();
    EXPECT_FALSE(text.IsWindowVisible());
    Click(main, IDC_FILE);
    Click(main, IDC_TEXT);
    Click(main, IDC_TEXT);
    EXPECT_TRUE(text.IsWindowVisible());
    EXPECT_FALSE(main.FilePanel().IsWindowVisible());
    EXPECT_EQ(frame->pos(), moved);
    EXPECT_EQ(CDialog::FromWidget(frame->findChild<QPushButton*>()), &text);
    EXPECT_EQ(text.GetDlgItemText(IDC_TEXTFIELD) + "|" + text.GetDlgItemText(IDC_PASSWORD),
              "kept text|kept pw");
}

// Each key press: where the focus lands, which panel shows, and what a screen reader is told
// (Qt announces each focus change; offscreen has no accessibility bridge to listen on). The
// panel keeps its Tab order; F6 goes to the shown panel's button and back where it left.
TEST_F(MainWindow, KeyboardReachesSidebarAndPanelsEachFocusAnnounced) {
    CDialog *text = &main.TextPanel(), *file = &main.FilePanel(), *bar = &main;
    QString opened;
    OnNextModal([&](CDialog& d) {
        opened = d.GetSafeHwnd()->windowTitle();
        d.GetSafeHwnd()->close();
    });
    QApplication::setActiveWindow(main.GetSafeHwnd());
    text->GetDlgItem(IDC_PASSWORD)->setFocus();
    constexpr auto C = Qt::ControlModifier, S = Qt::ShiftModifier;
    using Row = std::tuple<int, Qt::KeyboardModifiers, CDialog*, int, CDialog*>;
    // Key, then where the focus is afterwards and the panel shown.
    for (auto [key, mods, dlg, id, shown] :
         std::initializer_list<Row>{{Qt::Key_Tab, {}, text, IDC_KEYHELPER, text},
                                    {Qt::Key_F6, {}, bar, IDC_TEXT, text},
                                    {Qt::Key_Down, {}, bar, IDC_FILE, text},
                                    {Qt::Key_Space, {}, file, IDC_SOURCE, file},
                                    {Qt::Key_F6, S, bar, IDC_FILE, file},
                                    {Qt::Key_Up, {}, bar, IDC_TEXT, file},
                                    {Qt::Key_Left, {}, bar, IDC_HELP, file},
                                    {Qt::Key_Right, {}, bar, IDC_TEXT, file},
                                    {Qt::Key_F6, S, file, IDC_SOURCE, file},
                                    {Qt::Key_Tab, C, text, IDC_KEYHELPER, text},
                                    {Qt::Key_Tab, C, file, IDC_SOURCE, file},
                                    {Qt::Key_PageUp, C, text, IDC_KEYHELPER, text},
                                    {Qt::Key_Tab, C | S, file, IDC_SOURCE, file},
                                    {Qt::Key_PageDown, C, text, IDC_KEYHELPER, text},
                                    {Qt::Key_PageDown, C, file, IDC_SOURCE, file},
                                    {Qt::Key_F6, {}, bar, IDC_FILE, file},
                                    {Qt::Key_Down, {}, bar, IDC_MAIL, file},
                                    {Qt::Key_Down, {}, bar, IDC_ABOUT, file},
                                    {Qt::Key_Down, {}, bar, IDC_HELP, file},
                                    {Qt::Key_Return, {}, bar, IDC_HELP, file},
                                    {Qt::Key_Down, {}, bar, IDC_TEXT, file},
                                    {Qt::Key_Enter, {}, text, IDC_KEYHELPER, text}}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        QApplication::setActiveWindow(main.GetSafeHwnd()); // as the desktop does after a dialog
        QWidget* focus = QApplication::focusWidget();
        const QAccessibleInterface* told = QAccessible::queryAccessibleInterface(focus);
        EXPECT_TRUE(focus == dlg->GetDlgItem(id) && shown->IsWindowVisible() &&
                    !(shown == text ? file : text)->IsWindowVisible() && told &&
                    told->state().focused && !told->text(QAccessible::Name).isEmpty())
            << key << " to " << (focus ? focus->accessibleName().toStdString() : "none");
    }
    EXPECT_EQ(opened, "Tessarine Guide");
}

// Tessarine FILE, as a file manager's "Open with" starts it: the source made absolute and the
// name it would become, nothing run.
TEST(MainWindowStart, AFileNamedAtStartIsTheFilePanelsSourceMadeAbsoluteWithItsTarget) {
    CMainDlg main("notes/a b.txt");
    main.Create(nullptr);
    CFPDlg& file = main.FilePanel();
    EXPECT_TRUE(file.IsWindowVisible() && !main.TextPanel().IsWindowVisible());
    const std::string source = (std::filesystem::current_path() / "notes/a b.txt").string();
    EXPECT_EQ(file.GetDlgItemText(IDC_SOURCE) + "|" + file.GetDlgItemText(IDC_TARGET) + "|" +
                  file.GetDlgItemText(IDC_PASSWORD),
              source + "|" + source + ".qx|");
}

// The main window is a window to the desktop (type NORMAL, no transient owner, not modal),
// fixed in size with only a close box.
TEST(MainWindowRun, EnterAndEscapeKeepTheMainWindowOnlyClosingItEndsTheRun) {
    CMainDlg dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    QTimer::singleShot(0, [&dlg] {
        const QWidget* w = dlg.GetSafeHwnd();
        EXPECT_TRUE(w->windowType() == Qt::Window && !w->isModal() &&
                    !w->windowHandle()->transientParent() && w->minimumSize() == w->maximumSize() &&
                    !(w->windowFlags() & Qt::WindowMinMaxButtonsHint));
        // No button has the focus, so Enter on the window means OK.
        dlg.TextPanel().GetDlgItem(IDC_TEXTFIELD)->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
            PressKey(dlg.TextPanel().GetDlgItem(IDC_PASSWORD), key);
            PressKey(dlg.GetSafeHwnd(), key);
        }
        EXPECT_TRUE(dlg.IsWindowVisible() && dlg.TextPanel().IsWindowVisible());
        dlg.GetSafeHwnd()->close();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    AfxGetApp()->m_pMainWnd = nullptr;
}

TEST(ModuleSearch, OnlyOurOwnFoldersNeverCurrentOrLibraryPath) {
    // A module planted in the current folder is not picked up.
    TempDir dir;
    std::filesystem::copy_file(RealModuleDir() / "TRV.DLL", dir / "TRV.DLL");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    for (const auto& dirs : {std::vector<std::filesystem::path>{"", "."}, {FakeModuleDir("none")}})
        EXPECT_EQ(CModule("TRV.DLL", "ENCRYPTFUNC", dirs).GetStatus(),
                  CModule::Status::ModuleMissing);
    std::filesystem::current_path(cwd);
    // A module that others could have changed is skipped as if missing, and the
    // next folder searched: the folder, the file, another user's folder; then ours.
    const auto sub = dir / "sub";
    std::filesystem::create_directory(sub);
    std::filesystem::copy_file(dir / "TRV.DLL", sub / "TRV.DLL");
    const std::tuple<std::filesystem::path, unsigned, std::string> cases[] = {
        {sub, 0777, " may be written by other users."},
        {sub / "TRV.DLL", 0775, " may be written by other users."},
        // Sticky is no excuse unless root owns the folder.
        {sub, ::geteuid() == 0 ? 0755 : 01777,
         ::geteuid() == 0 ? " belongs to another user." : " may be written by other users."},
    };
    for (const auto& [path, mode, reason] : cases) {
        SCOPED_TRACE(path.string() + reason);
        std::filesystem::permissions(path, std::filesystem::perms(mode));
        if (::geteuid() == 0 && reason.ends_with("user.")) {
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
        CModule skipped("TRV.DLL", "ENCRYPTFUNC", {sub, FakeModuleDir("none")});
        EXPECT_EQ(skipped.GetStatus(), CModule::Status::ModuleMissing);
        EXPECT_EQ(skipped.Skipped(),
                  std::vector<std::string>{(sub / "TRV.DLL").string() +
                                           " was not loaded: " + path.string() + reason});
        std::filesystem::permissions(path, std::filesystem::perms(0755));
    }
    // A link is judged where it lies, not only by the file it leads to.
    const auto open = dir / "open";
    std::filesystem::create_directory(open);
    std::filesystem::create_symlink(sub / "TRV.DLL", open / "TRV.DLL");
    std::filesystem::permissions(open, std::filesystem::perms(0777));
    CModule linked("TRV.DLL", "ENCRYPTFUNC", {open});
    EXPECT_EQ(linked.GetStatus(), CModule::Status::ModuleMissing);
    EXPECT_EQ(linked.Skipped(), std::vector<std::string>{(open / "TRV.DLL").string() +
                                                         " was not loaded: " + open.string() +
                                                         " may be written by other users."});
    // The second folder is searched when the first lacks the module.
    CModule second("TRV.DLL", "ENCRYPTFUNC", {FakeModuleDir("none"), dir.path()});
    EXPECT_EQ(second.GetStatus(), CModule::Status::Bound);
    EXPECT_NE(second.Entry(), nullptr);
}

} // namespace
