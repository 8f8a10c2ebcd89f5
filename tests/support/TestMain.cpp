// Every test binary runs inside a QCoreApplication so that queued calls to the
// main thread, timers and D-Bus work as they do in the programs.
#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Results never depend on the machine's locale, time zone or display.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELLUMOR_PREFIX"))
        qputenv("VELLUMOR_PREFIX", VELLUMOR_STAGE);
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
