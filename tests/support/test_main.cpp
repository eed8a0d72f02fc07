// Runs GoogleTest inside a headless application named like the program.
#include "TestSupport.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication qapp(argc, argv);
    quillmar::CWinApp app("Tessarine");
    quillmar::test::UseModuleDir(quillmar::test::RealModuleDir());
    return RUN_ALL_TESTS();
}
