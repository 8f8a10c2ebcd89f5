// The agent's controller with a clock, timer, power source, launcher and
// mount table of the test's own, on the test's private session bus: what is
// reported, when the application is started, and when the agent wakes.
#include "AgentFakes.h"
#include "AppDelegate.h"
#include "DistributedNotificationCenter.h"
#include "EventLoopWait.h"
#include "MountWatcher.h"
#include "RunHistory.h"
#include "ScheduleFile.h"
#include "SharedDefaults.h"
#include "VolumePresence.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Sunday 6 December 2026, 12:00.
const QDateTime sunday(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
const QString saturday = u"Sat-05-12-2026 10:00"_s;
const QString monday9 = u"Mon-07-12-2026 09:00"_s;
const QString tuesday8 = u"Tue-08-12-2026 08:00"_s;
const QString removableDisk = u"/media/VellumorTestDisk"_s;

class AppDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!center().isConnected())
            GTEST_SKIP() << "no D-Bus session bus";
        ASSERT_TRUE(m_tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(m_tmp.filePath(u"dest"_s)));
        setWaitForPower(false);
        center().addObserver(u"JOBTODO"_s, u"beepbeep"_s, &m_context,
                             [this](const QString &, const QString &) { ++jobsToDo; });
        center().addObserver(u"VolumesChanged"_s, QString(), &m_context,
                             [this](const QString &, const QString &object) {
                                 if (object == u"beepbeep")
                                     ++volumesChanged;
                                 else
                                     ++sentinels;
                             });
    }

    static DistributedNotificationCenter &center() { return DistributedNotificationCenter::defaultCenter(); }

    AgentServices services(QList<std::chrono::milliseconds> delays = AgentServices::defaultDelayedChecks())
    {
        return {clock, timer, power, launcher, center(), volumes, m_tmp.filePath(u"Scheduled Backups.xml"_s), delays};
    }
    // A job from an existing folder to the given destination.
    JobRecord job(const QString &dest, const QStringList &dates) const
    {
        return {{u"sourcePath"_s, m_tmp.path()}, {u"destPath"_s, dest}, {u"scheduledDates"_s, dates}};
    }
    void writeSchedule(const QList<JobRecord> &records)
    {
        ASSERT_TRUE(ScheduleFile(m_tmp.filePath(u"Scheduled Backups.xml"_s), clock).write(records));
    }
    static void setWaitForPower(bool wait)
    {
        auto defaults = getUserDefaults();
        defaults->setValue(DefaultsKey::waitForPowerToBackup, wait);
        defaults->sync();
    }
    // Every signal this process sent before has come back once the sentinel
    // has: signals from one sender arrive in order.
    void settle()
    {
        const int before = sentinels;
        center().postNotification(u"VolumesChanged"_s, u"sentinel"_s);
        ASSERT_TRUE(processEventsUntil([&] { return sentinels > before; }));
    }
    QString path(const QString &name) const { return m_tmp.filePath(name); }

    FixedClock clock{sunday};
    FakeWakeTimer timer;
    FakePowerSource power;
    FakeLauncher launcher;
    FakeMountTable mounts;
    VolumePresence volumes{mounts, {u"/media"_s}};
    int jobsToDo = 0;
    int volumesChanged = 0;
    int sentinels = 0;

private:
    QTemporaryDir m_tmp;
    QObject m_context;
};

TEST_F(AppDelegateTest, ADueJobIsReportedAndTheApplicationStartedOnlyWhenNotRunning)
{
    const struct
    {
        const char *name;
        bool running;
        int launches;
        LaunchOutcome outcome;
    } table[] = {
        {"not running", false, 1, LaunchOutcome::Started},
        {"already running", true, 0, LaunchOutcome::AlreadyRunning},
    };
    writeSchedule({job(path(u"dest"_s), {saturday, monday9})});
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        launcher = FakeLauncher();
        launcher.running = row.running;
        jobsToDo = 0;
        AppDelegate agent(services());
        const CheckReport report = agent.checkForScheduledJobs(u"start"_s);
        settle();
        EXPECT_EQ(jobsToDo, 1);
        EXPECT_EQ(launcher.launches, row.launches);
        EXPECT_EQ(report.launch, row.outcome);
        EXPECT_EQ(report.reportedCount(), 1);
    }
}

TEST_F(AppDelegateTest, ADueJobWithAnAbsentVolumeIsNotReportedAndTheLogSaysWhy)
{
    writeSchedule({job(removableDisk + u"/Backups"_s, {saturday, monday9})});
    const RunHistory history(path(u"history.jsonl"_s));
    AgentServices withHistory = services();
    withHistory.history = &history;
    AppDelegate agent(std::move(withHistory));
    const CheckReport report = agent.checkForScheduledJobs(u"start"_s);
    // A check again (as after a mount) records the same skip no second time.
    agent.checkForScheduledJobs(u"mount"_s);
    settle();
    const QList<RunRecord> skips = history.read();
    ASSERT_EQ(skips.size(), 1);
    EXPECT_EQ(skips[0].outcome, RunRecord::Outcome::Skipped);
    EXPECT_EQ(skips[0].cause, u"VellumorTestDisk is not connected"_s);
    EXPECT_EQ(skips[0].ended, sunday);
    EXPECT_EQ(jobsToDo, 0);
    EXPECT_EQ(launcher.launches, 0);
    ASSERT_EQ(report.due.size(), 1);
    EXPECT_EQ(report.due[0].outcome, DueOutcome::DestinationAbsent);
    const QString line = report.logLine();
    EXPECT_TRUE(line.contains(u"check after start"_s)) << line.toStdString();
    EXPECT_TRUE(line.contains(saturday)) << line.toStdString();
    EXPECT_TRUE(line.contains(u"destination not present"_s)) << line.toStdString();
    EXPECT_TRUE(line.contains(u"next wake-up 2026-12-07 09:00"_s)) << line.toStdString();
}

TEST_F(AppDelegateTest, OnBatteryAJobThatWaitsForPowerIsHeldUntilPluggedIn)
{
    writeSchedule({job(path(u"dest"_s), {saturday})});
    setWaitForPower(true);
    power.setOnBattery(true);
    QList<CheckReport> reports;
    AppDelegate agent(services());
    QObject::connect(&agent, &AppDelegate::checked, [&](const CheckReport &report) { reports.append(report); });
    agent.applicationDidFinishLaunching(nullptr, nullptr);
    settle();
    EXPECT_EQ(jobsToDo, 0);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0].due.value(0).outcome, DueOutcome::WaitingForPower);

    power.setOnBattery(false);
    settle();
    EXPECT_EQ(jobsToDo, 1);
    EXPECT_EQ(launcher.launches, 1);
}

TEST_F(AppDelegateTest, WithoutWaitingForPowerTheBatteryIsNotEvenAsked)
{
    writeSchedule({job(path(u"dest"_s), {saturday})});
    power.setOnBattery(true);
    power.queries = 0;
    AppDelegate agent(services());
    agent.checkForScheduledJobs(u"start"_s);
    settle();
    EXPECT_EQ(jobsToDo, 1);
    EXPECT_EQ(power.queries, 0);
}

TEST_F(AppDelegateTest, ScheduleChangedRearmsTheTimerForTheNewEarliestDate)
{
    writeSchedule({job(path(u"dest"_s), {tuesday8, monday9})});
    QList<CheckReport> reports;
    AppDelegate agent(services());
    QObject::connect(&agent, &AppDelegate::checked, [&](const CheckReport &report) { reports.append(report); });
    agent.applicationDidFinishLaunching(nullptr, nullptr);
    EXPECT_EQ(timer.armedFor(), QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC));

    // Monday 09:00 passed; the application rolled it on to the next week and saved.
    clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 1), Qt::UTC));
    writeSchedule({job(path(u"dest"_s), {tuesday8, u"Mon-14-12-2026 09:00"_s})});
    center().postNotification(u"SCHEDULECHANGED"_s, u"somethingelse"_s);
    center().postNotification(u"SCHEDULECHANGED"_s, u"beepbeep"_s);
    ASSERT_TRUE(processEventsUntil([&] { return reports.size() == 2; }));
    settle();
    EXPECT_EQ(reports.size(), 2) << "only the notification with the agreed object counts";
    EXPECT_EQ(reports.last().trigger, u"SCHEDULECHANGED"_s);
    EXPECT_EQ(timer.armedFor(), QDateTime(QDate(2026, 12, 8), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(jobsToDo, 0);
}

TEST_F(AppDelegateTest, ASchedulePendingNothingInTheFutureKeepsThePendingTimer)
{
    const QDateTime pending(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC);
    const struct
    {
        const char *name;
        QByteArray fileContent; // empty: write only past entries
    } table[] = {
        {"only past entries", QByteArray()},
        {"an unreadable file", "not a property list"},
        {"an empty file", "\n"},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        writeSchedule({job(path(u"dest"_s), {saturday})});
        if (!row.fileContent.isEmpty()) {
            QFile file(path(u"Scheduled Backups.xml"_s));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(row.fileContent.trimmed());
        }
        timer.armAt(pending);
        AppDelegate agent(services());
        const CheckReport report = agent.checkForScheduledJobs(u"SCHEDULECHANGED"_s);
        EXPECT_EQ(timer.armedFor(), pending);
        EXPECT_FALSE(report.timerRearmed);
        EXPECT_TRUE(report.logLine().contains(u"next wake-up 2026-12-07 09:00"_s)) << report.logLine().toStdString();
    }
    // The past entry was reported: its signal must not reach the next test.
    settle();
}

TEST_F(AppDelegateTest, TheTimerFiringReportsTheJobAndArmsTheNextDate)
{
    writeSchedule({job(path(u"dest"_s), {monday9, tuesday8})});
    AppDelegate agent(services());
    agent.applicationDidFinishLaunching(nullptr, nullptr);
    settle();
    ASSERT_EQ(jobsToDo, 0);

    clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 1), Qt::UTC));
    timer.fire();
    settle();
    EXPECT_EQ(jobsToDo, 1);
    EXPECT_EQ(timer.armedFor(), QDateTime(QDate(2026, 12, 8), QTime(8, 0), Qt::UTC));
}

TEST_F(AppDelegateTest, AClockSetForwardPastARunDateReportsIt)
{
    // Monday morning: the entry a week ahead is the one a save made today.
    clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));
    writeSchedule({job(path(u"dest"_s), {monday9, u"Mon-14-12-2026 09:00"_s})});
    QList<CheckReport> reports;
    AppDelegate agent(services());
    QObject::connect(&agent, &AppDelegate::checked, [&](const CheckReport &report) { reports.append(report); });
    agent.applicationDidFinishLaunching(nullptr, nullptr);

    const QDateTime later(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC);
    clock.setNow(later);
    timer.clockSet(later);
    settle();
    EXPECT_EQ(jobsToDo, 1);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports[1].trigger, u"clock set"_s);
    EXPECT_EQ(timer.armedFor(), QDateTime(QDate(2026, 12, 14), QTime(9, 0), Qt::UTC));
}

TEST_F(AppDelegateTest, AMountPostsVolumesChangedAndChecksAgainUntilTheDiskIsThere)
{
    QFile table(path(u"mountinfo"_s));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
    table.flush();
    MountWatcher watcher(path(u"mountinfo"_s));
    writeSchedule({job(removableDisk + u"/Backups"_s, {saturday})});
    QList<CheckReport> reports;
    // The delays only order the checks; their length is not what is tested.
    AppDelegate agent(services({1ms, 5ms, 10ms, 15ms, 20ms}));
    QObject::connect(&agent, &AppDelegate::checked, [&](const CheckReport &report) {
        reports.append(report);
        // The disk's volume counts as present a moment after the kernel
        // lists the mount: from the first delayed check on.
        if (reports.size() == 2)
            mounts.roots.insert(removableDisk);
    });
    agent.applicationDidFinishLaunching(&watcher, nullptr);

    table.write("40 22 8:17 / /media/VellumorTestDisk rw,nosuid - vfat /dev/sdb1 rw\n");
    table.flush();
    watcher.rescan();
    ASSERT_TRUE(processEventsUntil([&] { return reports.size() == 7; }));
    settle();
    EXPECT_EQ(volumesChanged, 1);
    EXPECT_EQ(reports[1].trigger, u"mount of /media/VellumorTestDisk"_s);
    EXPECT_EQ(reports[1].reportedCount(), 0);
    EXPECT_EQ(reports[2].reportedCount(), 1);
    EXPECT_EQ(jobsToDo, 5) << "each delayed check reports the job again; the application rolls it once";
}

} // namespace

namespace {

// A due run on an absent disk is told once a day and withdrawn when the
// disk is there; an overdue job gets one reminder a day.
TEST_F(AppDelegateTest, PostponedAndOverdueJobsAreToldOnceADay)
{
    const QString weeklyDate = u"Sat-12-12-2026 09:00"_s; // not due: the overdue job only
    writeSchedule({job(removableDisk + u"/Backups"_s, {saturday}), job(path(u"dest"_s), {weeklyDate})});
    const RunHistory history(path(u"history.jsonl"_s));
    RunRecord good;
    good.sourcePath = QFileInfo(path(u"dest"_s)).path(); // job()'s source
    good.destPath = path(u"dest"_s);
    good.ended = sunday.addDays(-9);
    ASSERT_TRUE(history.append(good));
    FakeNoticeBoard board;
    AgentServices withNotices = services();
    withNotices.history = &history;
    withNotices.notices = &board;
    AppDelegate agent(std::move(withNotices));
    const QString sourceName = QFileInfo(good.sourcePath).fileName();
    const QList<QPair<QString, QString>> oneDay{
        {u"postponed\n"_s + good.sourcePath + u'\n' + removableDisk + u"/Backups"_s,
         u"Scheduled backup postponed: VellumorTestDisk is not connected"_s},
        {u"overdue\n"_s + good.sourcePath + u'\n' + good.destPath, u"No backup of "_s + sourceName + u" for 9 days"_s},
    };

    agent.checkForScheduledJobs(u"start"_s);
    agent.checkForScheduledJobs(u"mount"_s);
    EXPECT_EQ(board.shown, oneDay);
    clock.advanceSeconds(24 * 3600); // the next day, still absent
    agent.checkForScheduledJobs(u"wake-up timer"_s);
    ASSERT_EQ(board.shown.size(), 4);
    EXPECT_EQ(board.shown[3].second, u"No backup of "_s + sourceName + u" for 10 days"_s);
    EXPECT_TRUE(board.withdrawn.isEmpty());
    mounts.roots.insert(removableDisk);
    agent.checkForScheduledJobs(u"mount"_s);
    settle();
    EXPECT_EQ(board.withdrawn, QStringList{oneDay[0].first});
    EXPECT_EQ(board.shown.size(), 4);
}

} // namespace
