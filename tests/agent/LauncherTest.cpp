// Starting the main application: on which platform, and only when it is
// neither running nor already being started.
#include "EventLoopWait.h"
#include "Identifiers.h"
#include "MainAppLauncher.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

TEST(MainAppLauncher, WithoutADisplayTheApplicationRunsOffscreen)
{
    const struct
    {
        const char *name;
        QStringList set; // NAME=value
        QString platform;
    } table[] = {
        {"X11 session", {u"DISPLAY=:0"_s}, QString()},
        {"Wayland session", {u"WAYLAND_DISPLAY=wayland-0"_s}, QString()},
        {"Wayland session asking for xcb", {u"WAYLAND_DISPLAY=wayland-0"_s, u"QT_QPA_PLATFORM=xcb"_s}, u"xcb"_s},
        {"no display", {}, u"offscreen"_s},
        {"empty display variables", {u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s}, u"offscreen"_s},
        {"no display but xcb asked for", {u"QT_QPA_PLATFORM=xcb"_s}, u"offscreen"_s},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        QProcessEnvironment agent;
        agent.insert(u"HOME"_s, u"/home/user"_s);
        for (const QString &assignment : row.set)
            agent.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
        const QProcessEnvironment launched = BundleMainAppLauncher::launchEnvironment(agent);
        EXPECT_EQ(launched.value(u"QT_QPA_PLATFORM"_s), row.platform);
        EXPECT_EQ(launched.value(u"HOME"_s), u"/home/user"_s);
    }
}

class LauncherOnTheBusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no D-Bus session bus";
        ASSERT_TRUE(m_tmp.isValid());
        qputenv("VELLUMOR_STANDIN_LOG", logPath().toLocal8Bit());
    }
    void TearDown() override
    {
        qunsetenv("VELLUMOR_STANDIN_LOG");
        qunsetenv("VELLUMOR_STANDIN_STAY");
    }
    QString logPath() const { return m_tmp.filePath(u"started.log"_s); }
    QStringList started() const
    {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_tmp;
};

TEST_F(LauncherOnTheBusTest, TheApplicationsBusNameMeansItRuns)
{
    BundleMainAppLauncher launcher(QDBusConnection::sessionBus(), QStringLiteral(STAND_IN_VELLUMOR));
    EXPECT_FALSE(launcher.isMainAppRunning());
    QDBusConnection app = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"main-app"_s);
    ASSERT_TRUE(app.registerService(Vellumor::MainAppBundleId));
    EXPECT_TRUE(launcher.isMainAppRunning());
    app.unregisterService(Vellumor::MainAppBundleId);
    QDBusConnection::disconnectFromBus(u"main-app"_s);
    EXPECT_FALSE(launcher.isMainAppRunning());
}

TEST_F(LauncherOnTheBusTest, AnInstanceStillStartingIsNotStartedTwice)
{
    qputenv("VELLUMOR_STANDIN_STAY", "1");
    BundleMainAppLauncher launcher(QDBusConnection::sessionBus(), QStringLiteral(STAND_IN_VELLUMOR));
    ASSERT_TRUE(launcher.launch());
    EXPECT_TRUE(launcher.isMainAppRunning()) << "started, name not yet claimed";
    ASSERT_TRUE(processEventsUntil([&] { return !started().isEmpty(); }));
    const QStringList fields = started().first().split(u' ');
    ASSERT_EQ(fields.size(), 3);
    EXPECT_EQ(fields[1], u"daemonLaunched"_s);

    const pid_t pid = pid_t(fields[0].toInt());
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_TRUE(processEventsUntil([&] { return !launcher.isMainAppRunning(); }));
}

TEST_F(LauncherOnTheBusTest, AProgramThatCannotBeStartedIsReported)
{
    BundleMainAppLauncher launcher(QDBusConnection::sessionBus(), u"/nonexistent/bin/vellumor"_s);
    EXPECT_FALSE(launcher.launch());
    EXPECT_FALSE(launcher.isMainAppRunning());
}

} // namespace
