// The main of test binaries that paint widgets: a QApplication on Qt's
// offscreen platform, with the same pinned locale, time zone and private
// XDG folders as the other test binaries, so preferences written by a test
// never reach the user's own.
#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Pixels in the tests are the strip's own units.
    qputenv("QT_SCALE_FACTOR", "1");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (qEnvironmentVariableIsEmpty("VELLUMOR_PREFIX"))
        qputenv("VELLUMOR_PREFIX", VELLUMOR_STAGE);

    QTemporaryDir xdgHome;
    qputenv("XDG_DATA_HOME", (xdgHome.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (xdgHome.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
