// vellumor-helper as the session runs it: a process on the test's private
// session bus, with UPower and logind stand-ins on a private system bus and
// a stand-in for the main application in a bundle prefix of the test's own.
#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "EventLoopWait.h"
#include "Identifiers.h"
#include "PrivateSystemBus.h"
#include "RunDates.h"
#include "ScheduleFile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString longAgo = u"Sat-05-12-2026 10:00"_s;

class AgentProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!center().isConnected())
            GTEST_SKIP() << "no D-Bus session bus";
        ASSERT_TRUE(m_tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(m_tmp.filePath(u"dest"_s)));
        ASSERT_TRUE(bus.isValid());
        ASSERT_TRUE(QDir().mkpath(path(u"prefix/bin"_s)));
        ASSERT_TRUE(QFile::link(QStringLiteral(STAND_IN_VELLUMOR), path(u"prefix/bin/vellumor"_s)));
        center().addObserver(u"JOBTODO"_s, u"beepbeep"_s, &m_context,
                             [this](const QString &, const QString &) { ++jobsToDo; });
        center().addObserver(u"VolumesChanged"_s, u"beepbeep"_s, &m_context,
                             [this](const QString &, const QString &) { ++volumesChanged; });
    }
    void TearDown() override
    {
        if (m_agent.state() == QProcess::NotRunning)
            return;
        m_agent.terminate();
        EXPECT_TRUE(m_agent.waitForFinished(30000));
        EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_agent.exitCode(), 0) << "the agent leaves on SIGTERM with status 0";
    }

    static DistributedNotificationCenter &center() { return DistributedNotificationCenter::defaultCenter(); }
    QString path(const QString &name) const { return m_tmp.filePath(name); }

    QProcessEnvironment agentEnvironment() const
    {
        QProcessEnvironment environment = bus.environmentFor(QProcessEnvironment::systemEnvironment());
        environment.insert(u"XDG_DATA_HOME"_s, path(u"data"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
        environment.insert(u"VELLUMOR_PREFIX"_s, path(u"prefix"_s));
        environment.insert(u"VELLUMOR_STANDIN_LOG"_s, path(u"started.log"_s));
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        return environment;
    }
    void writeSchedule(const QString &dest)
    {
        const JobRecord job{
            {u"sourcePath"_s, m_tmp.path()}, {u"destPath"_s, dest}, {u"scheduledDates"_s, QStringList{longAgo}}};
        const QString file = path(u"data/"_s) + Vellumor::MainAppBundleId + u"/Scheduled Backups.xml"_s;
        ASSERT_TRUE(ScheduleFile(file, Clock::system()).write({job}));
    }
    void setWaitForPower()
    {
        QSettings defaults(path(u"config/vellumor/"_s) + Vellumor::SharedDefaultsSuite + u".conf"_s,
                           QSettings::IniFormat);
        defaults.setValue(u"waitForPowerToBackup"_s, true);
    }
    void startAgent()
    {
        m_agent.setProcessEnvironment(agentEnvironment());
        m_agent.start(QStringLiteral(VELLUMOR_HELPER), QStringList());
        ASSERT_TRUE(m_agent.waitForStarted(30000));
    }
    // Waits until the agent has logged a line holding the text; returns the
    // number of such lines so far.
    int waitForLog(const QString &text, int atLeast = 1)
    {
        processEventsUntil([&] {
            m_log += QString::fromLocal8Bit(m_agent.readAllStandardError());
            return m_log.count(text) >= atLeast || m_agent.state() == QProcess::NotRunning;
        });
        return int(m_log.count(text));
    }
    QStringList started() const
    {
        QFile log(path(u"started.log"_s));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    PrivateSystemBus bus;
    int jobsToDo = 0;
    int volumesChanged = 0;
    QString m_log;
    QProcess m_agent;

private:
    QTemporaryDir m_tmp;
    QObject m_context;
};

TEST_F(AgentProcessTest, ADueJobIsReportedAndTheApplicationStartedOffscreen)
{
    writeSchedule(path(u"dest"_s));
    startAgent();
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 1 && !started().isEmpty(); }));
    EXPECT_EQ(waitForLog(u"check after start: 1 job; due: "_s), 1);
    EXPECT_TRUE(m_log.contains(u"reported; application started"_s)) << m_log.toStdString();
    const QStringList fields = started().first().split(u' ');
    EXPECT_EQ(fields.mid(1), (QStringList{u"daemonLaunched"_s, u"platform=offscreen"_s}));
}

TEST_F(AgentProcessTest, WithTheApplicationRunningOnlyJobToDoIsPosted)
{
    QDBusConnection app = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"running-app"_s);
    ASSERT_TRUE(app.registerService(Vellumor::MainAppBundleId));
    writeSchedule(path(u"dest"_s));
    startAgent();
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 1; }));
    EXPECT_EQ(waitForLog(u"application already running"_s), 1);
    EXPECT_TRUE(started().isEmpty());
    QDBusConnection::disconnectFromBus(u"running-app"_s);
}

TEST_F(AgentProcessTest, ASecondAgentLeavesAtOnce)
{
    startAgent();
    waitForLog(u"check after start"_s);
    QProcess second;
    second.setProcessEnvironment(agentEnvironment());
    second.start(QStringLiteral(VELLUMOR_HELPER), QStringList());
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("Another vellumor-helper is running"));
    EXPECT_EQ(m_agent.state(), QProcess::Running);
}

TEST_F(AgentProcessTest, TheAgentLeavesWhenItsSessionBusGoes)
{
    // A session bus of the agent's own, ended as logout ends the session's.
    auto sessionBus = std::make_unique<PrivateSystemBus>();
    ASSERT_TRUE(sessionBus->isValid());
    QProcessEnvironment environment = agentEnvironment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, sessionBus->address());
    m_agent.setProcessEnvironment(environment);
    m_agent.start(QStringLiteral(VELLUMOR_HELPER), QStringList());
    ASSERT_TRUE(m_agent.waitForStarted(30000));
    waitForLog(u"check after start"_s);
    ASSERT_EQ(m_agent.state(), QProcess::Running);
    sessionBus.reset();
    ASSERT_TRUE(m_agent.waitForFinished(30000)) << "the agent outlived its session";
    EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_agent.exitCode(), 0);
    EXPECT_EQ(waitForLog(u"The session bus has gone"_s), 1);
}

TEST_F(AgentProcessTest, OnBatteryAJobWaitingForPowerRunsWhenPluggedIn)
{
    FakeSystemServices services(bus, {u"upower"_s});
    ASSERT_TRUE(services.isReady());
    ASSERT_TRUE(services.command("battery on"));
    setWaitForPower();
    writeSchedule(path(u"dest"_s));
    startAgent();
    EXPECT_EQ(waitForLog(u"skipped, waiting for external power"_s), 1) << m_log.toStdString();
    EXPECT_EQ(jobsToDo, 0);

    ASSERT_TRUE(services.command("battery off"));
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 1; }));
    EXPECT_EQ(waitForLog(u"check after power source change"_s), 1);
}

TEST_F(AgentProcessTest, WakingFromSleepChecksTheSchedule)
{
    FakeSystemServices services(bus, {u"logind"_s});
    ASSERT_TRUE(services.isReady());
    writeSchedule(path(u"dest"_s));
    startAgent();
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 1; }));
    ASSERT_TRUE(services.command("sleep"));
    ASSERT_TRUE(services.command("wake"));
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 2; }));
    EXPECT_EQ(waitForLog(u"check after wake from sleep"_s), 1);
    EXPECT_EQ(m_log.count(u"check after "_s), 2) << "going to sleep is no reason to look";
}

TEST_F(AgentProcessTest, ScheduleChangedIsHeardFromTheApplication)
{
    writeSchedule(path(u"dest"_s));
    startAgent();
    ASSERT_TRUE(processEventsUntil([&] { return jobsToDo == 1; }));
    const QString file = path(u"data/"_s) + Vellumor::MainAppBundleId + u"/Scheduled Backups.xml"_s;
    // In three days: a date the application could have saved today.
    const RunDate inThreeDays{QDate::currentDate().addDays(3), QTime(9, 0)};
    ASSERT_TRUE(ScheduleFile(file, Clock::system())
                    .write({JobRecord{
                        {u"sourcePath"_s, path(u"x"_s)},
                        {u"destPath"_s, path(u"y"_s)},
                        {u"scheduledDates"_s,
                         QStringList{runDateText(inThreeDays, QLocale(QLocale::English, QLocale::UnitedStates))}}}}));
    center().postNotification(u"SCHEDULECHANGED"_s, u"beepbeep"_s);
    EXPECT_EQ(waitForLog(u"check after SCHEDULECHANGED: 1 job; nothing due; next wake-up "_s
                         + inThreeDays.date.toString(u"yyyy-MM-dd"_s) + u" 09:00"_s),
              1)
        << m_log.toStdString();
}

TEST_F(AgentProcessTest, ADiskMountedAfterItsRunDateIsReportedWithinTheDelayedChecks)
{
    const QString media = u"/media/vellumor-test-"_s + QString::number(::getpid());
    if (!QDir().mkpath(media))
        GTEST_SKIP() << "cannot create a folder under /media (needs root)";
    writeSchedule(media + u"/Backups"_s);
    startAgent();
    waitForLog(u"destination not present"_s);
    const int mounted = ::mount("vellumor-test", media.toLocal8Bit().constData(), "tmpfs", 0, "size=1m");
    if (mounted == 0) {
        processEventsUntil([&] { return jobsToDo >= 1 && volumesChanged >= 1; });
        ::umount2(media.toLocal8Bit().constData(), MNT_DETACH);
    }
    QDir().rmdir(media);
    if (mounted != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    EXPECT_EQ(volumesChanged, 1);
    EXPECT_GE(jobsToDo, 1);
    EXPECT_EQ(waitForLog(u"check after mount of "_s + media + u": 1 job; due: "_s), 1) << m_log.toStdString();
}

} // namespace
