// The main of test binaries that paint widgets: a QApplication on Qt's
// offscreen platform, in the environment TestEnvironment pins for every test
// binary, at a scale of one so pixels are the strip's own units.
#include "TestEnvironment.h"

#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QTemporaryDir xdgHome;
    TestEnvironment::pin(xdgHome, VELLUMOR_STAGE);
    qputenv("QT_SCALE_FACTOR", "1");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
