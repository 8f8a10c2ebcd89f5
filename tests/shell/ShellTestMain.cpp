// The window tests run inside a QApplication on Qt's offscreen platform, each
// test process on its own session bus with its own XDG folders, with the
// locale and time zone pinned, as the other tests do.
#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace {

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

    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELLUMOR_PREFIX"))
        qputenv("VELLUMOR_PREFIX", VELLUMOR_STAGE);
    QTemporaryDir xdgHome;
    qputenv("XDG_DATA_HOME", (xdgHome.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (xdgHome.path() + QStringLiteral("/config")).toLocal8Bit());

    QApplication app(argc, argv);
    // A test closes windows; that must not end the test's own event loops.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
