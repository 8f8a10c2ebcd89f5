// Every test binary runs inside a QCoreApplication so that queued calls to the
// main thread, timers and D-Bus work as they do in the programs.
//
// Each test process gets its own session bus and its own XDG data and config
// folders: ctest runs tests in parallel, and a notification or schedule file
// written by one test must never reach another (or the user's own).
#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace {

// Runs this process again under its own private session bus. Returns only
// when dbus-run-session cannot be started.
void reexecOnPrivateBus(int argc, char **argv)
{
    qputenv("VELLUMOR_TEST_PRIVATE_BUS", "1");
    std::vector<char *> arguments{const_cast<char *>("dbus-run-session"), const_cast<char *>("--")};
    for (int i = 0; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    ::execvp("dbus-run-session", arguments.data());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("VELLUMOR_TEST_PRIVATE_BUS"))
        reexecOnPrivateBus(argc, argv);

    // Results never depend on the machine's locale, time zone or display.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELLUMOR_PREFIX"))
        qputenv("VELLUMOR_PREFIX", VELLUMOR_STAGE);
    QCoreApplication app(argc, argv);

    QTemporaryDir xdgHome;
    qputenv("XDG_DATA_HOME", (xdgHome.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (xdgHome.path() + QStringLiteral("/config")).toLocal8Bit());

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
