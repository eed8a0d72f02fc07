// Runs GoogleTest inside a headless application named like the program.
#include "TestSupport.h"
#include "platform/locale/Translate.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <clocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication qapp(argc, argv);
    // English whatever the machine's language; a test that wants another switches to it.
    quillmar::InitTranslations(QUILLMAR_OUTPUT_DIR "/locale");
    std::setlocale(LC_MESSAGES, "C");
    qunsetenv("LANGUAGE");
    quillmar::CWinApp app("Tessarine");
    quillmar::test::UseModuleDir(quillmar::test::RealModuleDir());
    return RUN_ALL_TESTS();
}
