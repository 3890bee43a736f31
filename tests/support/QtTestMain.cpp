// Test entry: a QApplication exists for every test binary (offscreen by default), so GUI
// tests and unit tests that touch Qt types share one main.
#include <gtest/gtest.h>

#include <QApplication>

#ifndef _WIN32
#include "support/ChildRole.h"  // the kill tests run on Linux only
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvalite Product Update Assistant");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
#ifndef _WIN32
    if (const auto exitCode = testsupport::RunChildRoleIfAsked()) return *exitCode;
#endif
    return RUN_ALL_TESTS();
}
