// Every test binary runs inside a QCoreApplication so that queued calls to the
// main thread, timers and D-Bus work as they do in the programs, in the
// environment TestEnvironment pins.
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    TestEnvironment::reexecOnPrivateBus(argc, argv);
    QTemporaryDir xdgHome;
    TestEnvironment::pin(xdgHome, VELLUMOR_STAGE);
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
