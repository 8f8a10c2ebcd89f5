// The window tests run inside a QApplication on Qt's offscreen platform, in
// the environment TestEnvironment pins for every test binary.
#include "TestEnvironment.h"

#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    TestEnvironment::reexecOnPrivateBus(argc, argv);
    QTemporaryDir xdgHome;
    TestEnvironment::pin(xdgHome, VELLUMOR_STAGE);
    QApplication app(argc, argv);
    // A test closes windows; that must not end the test's own event loops.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
