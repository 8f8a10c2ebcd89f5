#pragma once

// What every test binary's main() does before its application object exists:
// each test process runs on its own session bus (ctest runs tests in
// parallel, and a notification written by one test must never reach another
// or the user's own), with the locale, time zone and display pinned, the
// staged bundle as its prefix and private XDG data and config folders.

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

#include <unistd.h>
#include <vector>

namespace TestEnvironment {

// Runs this process again under its own private session bus. Returns only
// when dbus-run-session cannot be started.
inline void reexecOnPrivateBus(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("VELLUMOR_TEST_PRIVATE_BUS"))
        return;
    qputenv("VELLUMOR_TEST_PRIVATE_BUS", "1");
    std::vector<char *> arguments{const_cast<char *>("dbus-run-session"), const_cast<char *>("--")};
    for (int i = 0; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    ::execvp("dbus-run-session", arguments.data());
}

// Pins locale, time zone, platform and bundle prefix; the folders of
// `xdgHome` become the XDG data and config homes.
inline void pin(const QTemporaryDir &xdgHome, const char *stage)
{
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELLUMOR_PREFIX"))
        qputenv("VELLUMOR_PREFIX", stage);
    qputenv("XDG_DATA_HOME", (xdgHome.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (xdgHome.path() + QStringLiteral("/config")).toLocal8Bit());
}

} // namespace TestEnvironment
