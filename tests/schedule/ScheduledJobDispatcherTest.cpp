// Dispatch of due scheduled jobs with a fake controller: which jobs are
// queued, in what order they start, what is rolled forward and saved, and
// when a start by the agent quits again.
#include "EventLoopWait.h"
#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "shared/RecordingPoster.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The controller as dispatch sees it: a start makes it busy until the test
// finishes the run, which hands back to dispatch as completion does.
class FakeController final : public DispatchController
{
public:
    bool isIdle() const override { return !running; }
    void loadUIFromDictionary(const JobRecord &record) override
    {
        if (!running)
            loaded.append(JobRecords::destPath(record));
    }
    void startBackup(JobRecord &record) override
    {
        started.append(JobRecords::destPath(record));
        startedRecords.append(record);
        if (onStartRecord)
            onStartRecord(record);
        running = true;
        if (onStart)
            onStart();
    }
    void terminateApplication() override { ++terminateRequests; }

    bool running = false;
    QStringList loaded;
    QStringList started;
    QList<JobRecord> startedRecords;
    int terminateRequests = 0;
    std::function<void()> onStart;
    std::function<void(JobRecord &)> onStartRecord;
};

class ScheduledJobDispatcherTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }

    // A job with the given run dates, saved before the test begins.
    void addJob(const QString &source, const QString &dest, const QStringList &dates)
    {
        BackupParameters parameters;
        parameters.sourcePath = source;
        parameters.destPath = dest;
        parameters.hardlinks = true;
        parameters.snapshotsToKeep = qlonglong(3);
        parameters.scheduledDates = dates;
        schedule.updateSharedArrayAndWriteToFile(&parameters);
        poster.posted.clear();
    }

    QStringList fileDates(qsizetype row) const
    {
        return JobRecords::scheduledDates(schedule.file().arrayWithContentsOfFile().value(row));
    }

    // The run in progress ends; completion hands over to dispatch.
    bool finishRun()
    {
        controller.running = false;
        return dispatcher.continueAfterRun();
    }

    QTemporaryDir tmp;
    // Monday 7 December 2026, 10:30.
    FixedClock clock{QDateTime(QDate(2026, 12, 7), QTime(10, 30), Qt::UTC)};
    RecordingPoster poster;
    SharedSchedule schedule{ScheduleFile(tmp.filePath(u"Scheduled Backups.xml"_s), clock), poster};
    FakeController controller;
    QSet<QString> present{u"/src"_s, u"/disk1"_s, u"/disk2"_s, u"/disk3"_s};
    ScheduledJobDispatcher dispatcher{schedule, controller, clock,
                                      [this](const QString &path) { return present.contains(path); },
                                      QLocale(QLocale::English, QLocale::UnitedStates)};
    const QStringList dueMonday{u"Mon-07-12-2026 10:00"_s};
    const QStringList rolledMonday{u"Mon-14-12-2026 10:00"_s};
};

TEST_F(ScheduledJobDispatcherTest, TwoDueJobsRunInListOrderAndRollForwardInOneRewrite)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, {u"Mon-07-12-2026 09:00"_s, u"Wed-09-12-2026 09:00"_s});

    dispatcher.applicationDidFinishLaunching({u"vellumor"_s}, nullptr);

    EXPECT_EQ(poster.posted, (QList<QPair<QString, QString>>{{u"SCHEDULECHANGED"_s, u"beepbeep"_s}}));
    EXPECT_EQ(fileDates(0), rolledMonday);
    EXPECT_EQ(fileDates(1), (QStringList{u"Mon-14-12-2026 09:00"_s, u"Wed-09-12-2026 09:00"_s}));
    EXPECT_EQ(controller.started, QStringList{u"/disk1"_s});
    ASSERT_EQ(dispatcher.jobsToDo().size(), 1);
    EXPECT_FALSE(dispatcher.quitWhenAllDone());

    EXPECT_FALSE(finishRun());
    EXPECT_EQ(controller.started, (QStringList{u"/disk1"_s, u"/disk2"_s}));
    EXPECT_TRUE(dispatcher.jobsToDo().isEmpty());
    // The job starts with the dates it was rolled to.
    EXPECT_EQ(JobRecords::scheduledDates(controller.startedRecords.constFirst()), rolledMonday);

    // Started by hand: the application stays open when all is done.
    EXPECT_FALSE(finishRun());
    EXPECT_EQ(controller.terminateRequests, 0);
}

TEST_F(ScheduledJobDispatcherTest, AnAbsentVolumeIsNeitherQueuedNorRolledUntilItIsAttached)
{
    addJob(u"/src"_s, u"/unplugged"_s, dueMonday);
    dispatcher.checkForScheduledJobs();
    dispatcher.runNextScheduledJob();
    EXPECT_TRUE(dispatcher.jobsToDo().isEmpty());
    EXPECT_TRUE(controller.started.isEmpty());
    EXPECT_EQ(fileDates(0), dueMonday);
    EXPECT_EQ(poster.posted.size(), 1); // rewritten all the same
    ASSERT_EQ(dispatcher.skippedJobs().size(), 1);
    EXPECT_EQ(dispatcher.skippedJobs().at(0).destPath, u"/unplugged"_s);
    EXPECT_EQ(dispatcher.skippedJobs().at(0).reason, SkipReason::DestinationAbsent);

    // The disk arrives an hour later and the agent says so.
    clock.advanceSeconds(3600);
    present.insert(u"/unplugged"_s);
    dispatcher.newJobNotificationFromHelperApp();
    EXPECT_EQ(controller.started, QStringList{u"/unplugged"_s});
    EXPECT_EQ(fileDates(0), rolledMonday);
}

TEST_F(ScheduledJobDispatcherTest, JobToDoDuringARunChangesNothingAndTheJobRunsAfterIt)
{
    addJob(u"/src"_s, u"/disk1"_s, {u"Mon-07-12-2026 11:00"_s});
    controller.running = true; // a run started by hand

    clock.advanceSeconds(3600); // 11:30: the job is due now
    dispatcher.newJobNotificationFromHelperApp();
    EXPECT_TRUE(poster.posted.isEmpty());
    EXPECT_TRUE(dispatcher.jobsToDo().isEmpty());
    EXPECT_EQ(fileDates(0), QStringList{u"Mon-07-12-2026 11:00"_s});

    finishRun();
    EXPECT_EQ(controller.started, QStringList{u"/disk1"_s});
    EXPECT_EQ(fileDates(0), QStringList{u"Mon-14-12-2026 11:00"_s});
}

TEST_F(ScheduledJobDispatcherTest, AQueuedJobIsNotQueuedTwiceButIsRolledAgain)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, dueMonday);
    dispatcher.checkForScheduledJobs();
    dispatcher.runNextScheduledJob(); // disk1 runs, disk2 waits
    ASSERT_EQ(dispatcher.jobsToDo().size(), 1);

    // The run takes more than a week: disk2's next date passes meanwhile.
    clock.advanceSeconds(8 * 24 * 3600);
    controller.running = false;
    dispatcher.checkForScheduledJobs();
    EXPECT_EQ(dispatcher.jobsToDo().size(), 2); // disk1 again, disk2 once
    EXPECT_EQ(JobRecords::destPath(dispatcher.jobsToDo().at(0)), u"/disk2"_s);
    EXPECT_EQ(fileDates(1), QStringList{u"Mon-21-12-2026 10:00"_s});
}

TEST_F(ScheduledJobDispatcherTest, AQueuedJobWaitsAtTheHeadWhileARunIsInProgress)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    dispatcher.checkForScheduledJobs();
    controller.running = true;
    dispatcher.runNextScheduledJob();
    EXPECT_TRUE(controller.started.isEmpty());
    EXPECT_TRUE(controller.loaded.isEmpty());
    EXPECT_EQ(dispatcher.jobsToDo().size(), 1);
}

TEST_F(ScheduledJobDispatcherTest, DaemonLaunchedQuitsAfterItsJobsButAStartWithNothingDueStays)
{
    struct Case
    {
        const char *name;
        bool due;
        QStringList arguments;
        bool quitWhenAllDone;
        int startsBeforeQuit;
    };
    const Case cases[] = {
        {"daemon, one due job", true, {u"vellumor"_s, u"daemonLaunched"_s}, true, 1},
        {"daemon, nothing due", false, {u"vellumor"_s, u"daemonLaunched"_s}, false, 0},
        {"by hand, one due job", true, {u"vellumor"_s}, false, 1},
        {"argument must be whole", true, {u"vellumor"_s, u"--daemonLaunched"_s}, false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        RecordingPoster casePoster;
        SharedSchedule caseSchedule(ScheduleFile(dir.filePath(u"s.xml"_s), clock), casePoster);
        FakeController caseController;
        ScheduledJobDispatcher caseDispatcher(
            caseSchedule, caseController, clock, [](const QString &) { return true; },
            QLocale(QLocale::English, QLocale::UnitedStates));
        BackupParameters parameters;
        parameters.sourcePath = u"/src"_s;
        parameters.destPath = u"/disk1"_s;
        parameters.scheduledDates = c.due ? dueMonday : rolledMonday;
        caseSchedule.updateSharedArrayAndWriteToFile(&parameters);

        caseDispatcher.applicationDidFinishLaunching(c.arguments, nullptr);
        EXPECT_EQ(caseDispatcher.quitWhenAllDone(), c.quitWhenAllDone);
        EXPECT_EQ(caseController.started.size(), c.startsBeforeQuit);
        caseController.running = false;
        EXPECT_EQ(caseDispatcher.continueAfterRun(), c.quitWhenAllDone);
        EXPECT_EQ(caseController.terminateRequests, c.quitWhenAllDone ? 1 : 0);
    }
}

TEST_F(ScheduledJobDispatcherTest, DaemonLaunchedWorksThroughEveryWaitingJobBeforeQuitting)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, dueMonday);
    dispatcher.applicationDidFinishLaunching({u"daemonLaunched"_s}, nullptr);
    EXPECT_FALSE(finishRun()); // disk2 starts instead of quitting
    EXPECT_EQ(controller.terminateRequests, 0);
    EXPECT_TRUE(finishRun());
    EXPECT_EQ(controller.started, (QStringList{u"/disk1"_s, u"/disk2"_s}));
}

TEST_F(ScheduledJobDispatcherTest, DatesThatDoNotParseAreNeverDueAndStayAsTheyAre)
{
    const QStringList odd{u"Mon 07-12-2026 10:00"_s, u"Tue-07-12-2026 10:00"_s, u""_s, u"Mon-14-12-2026 10:00"_s};
    addJob(u"/src"_s, u"/disk1"_s, odd);
    dispatcher.checkForScheduledJobs();
    EXPECT_TRUE(dispatcher.jobsToDo().isEmpty());
    EXPECT_EQ(fileDates(0), odd);
}

TEST_F(ScheduledJobDispatcherTest, AnEmptyScheduleIsStillRewrittenAndAnnounced)
{
    dispatcher.checkForScheduledJobs();
    EXPECT_EQ(poster.posted.size(), 1);
    EXPECT_TRUE(schedule.file().read().state != ScheduleReadResult::State::Missing);
}

TEST_F(ScheduledJobDispatcherTest, AStartThatEndsAtOnceNeverRunsTheSameJobTwice)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, dueMonday);
    // The controller gives up on the start at once (a volume went away) and
    // its completion hands straight back to dispatch.
    int depth = 0;
    controller.onStart = [&] {
        if (++depth > 5)
            return;
        controller.running = false;
        dispatcher.continueAfterRun();
    };
    dispatcher.checkForScheduledJobs();
    dispatcher.runNextScheduledJob();
    EXPECT_EQ(controller.started, (QStringList{u"/disk1"_s, u"/disk2"_s}));
    EXPECT_TRUE(dispatcher.jobsToDo().isEmpty());
}

TEST_F(ScheduledJobDispatcherTest, JobToDoOverTheSessionBusStartsTheDueJob)
{
    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    if (!center.isConnected())
        GTEST_SKIP() << "no D-Bus session bus; run under dbus-run-session";
    dispatcher.applicationDidFinishLaunching({u"vellumor"_s}, &center);
    addJob(u"/src"_s, u"/disk3"_s, dueMonday); // saved after start-up

    center.postNotification(u"JOBTODO"_s, u"beepbeep"_s);
    ASSERT_TRUE(processEventsUntil([&] { return !controller.started.isEmpty(); }));
    EXPECT_EQ(controller.started, QStringList{u"/disk3"_s});
}

} // namespace

TEST_F(ScheduledJobDispatcherTest, EveryDueJobThatIsSkippedIsNamedWithItsReason)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/gone"_s, u"/disk2"_s, dueMonday);
    addJob(u"/src"_s, u"/unplugged"_s, dueMonday);
    addJob(u"/gone"_s, u"/unplugged"_s, dueMonday);
    addJob(u"/gone"_s, u"/disk3"_s, rolledMonday); // not due: not named
    dispatcher.checkForScheduledJobs();
    struct Expected
    {
        QString source;
        QString dest;
        SkipReason reason;
        const char *text;
    };
    const Expected expected[] = {
        {u"/gone"_s, u"/disk2"_s, SkipReason::SourceAbsent, "source absent"},
        {u"/src"_s, u"/unplugged"_s, SkipReason::DestinationAbsent, "destination absent"},
        {u"/gone"_s, u"/unplugged"_s, SkipReason::SourceAndDestinationAbsent, "source and destination absent"},
    };
    ASSERT_EQ(dispatcher.skippedJobs().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const SkippedJob &job = dispatcher.skippedJobs().at(qsizetype(i));
        EXPECT_EQ(job.sourcePath, expected[i].source);
        EXPECT_EQ(job.destPath, expected[i].dest);
        EXPECT_EQ(job.reason, expected[i].reason);
        EXPECT_EQ(ScheduledJobDispatcher::skipReasonText(job.reason), QString::fromUtf8(expected[i].text));
    }
    // The next check starts its own list.
    present.insert(u"/gone"_s);
    present.insert(u"/unplugged"_s);
    dispatcher.checkForScheduledJobs();
    EXPECT_TRUE(dispatcher.skippedJobs().isEmpty());
}

TEST_F(ScheduledJobDispatcherTest, TheQueueHoldsTheScheduleRecordsAndTheStartChangesThemInPlace)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, dueMonday);
    controller.running = true; // both wait
    dispatcher.checkForScheduledJobs();
    ASSERT_EQ(dispatcher.jobsToDo().size(), 2);

    // A change to the schedule's record shows in the queue: it holds no copy.
    schedule.recordAt(1).insert(JobKey::linkDest, u"/disk2/VLM Snapshot A/"_s);
    EXPECT_EQ(JobRecords::linkDest(dispatcher.jobsToDo().at(1)), u"/disk2/VLM Snapshot A/"_s);

    // The start is given the schedule's own record: what the run writes into
    // it (its new snapshot) is in the in-memory list at once.
    controller.onStartRecord = [](JobRecord &record) {
        record.insert(JobKey::linkDest, QString(JobRecords::destPath(record) + u"/VLM Snapshot B/"_s));
    };
    finishRun();
    EXPECT_EQ(JobRecords::linkDest(schedule.sharedParams().at(0)), u"/disk1/VLM Snapshot B/"_s);
    finishRun();
    EXPECT_EQ(JobRecords::linkDest(schedule.sharedParams().at(1)), u"/disk2/VLM Snapshot B/"_s);
    EXPECT_EQ(controller.started, (QStringList{u"/disk1"_s, u"/disk2"_s}));
}

TEST_F(ScheduledJobDispatcherTest, ARunConditionKeepsADueJobWaitingAndSaysWhy)
{
    addJob(u"/src"_s, u"/disk1"_s, dueMonday);
    addJob(u"/src"_s, u"/disk2"_s, dueMonday);
    dispatcher.setRunCondition([](const JobRecord &record) -> std::optional<SkipReason> {
        if (JobRecords::destPath(record) == u"/disk2"_s)
            return SkipReason::DestinationLocked;
        return std::nullopt;
    });
    dispatcher.checkForScheduledJobs();
    dispatcher.runNextScheduledJob();
    EXPECT_EQ(controller.started, QStringList{u"/disk1"_s});
    ASSERT_EQ(dispatcher.skippedJobs().size(), 1);
    EXPECT_EQ(dispatcher.skippedJobs().at(0).reason, SkipReason::DestinationLocked);
    EXPECT_EQ(fileDates(1), dueMonday); // not rolled: it runs once it may
    EXPECT_EQ(ScheduledJobDispatcher::skipReasonText(SkipReason::WaitingForPower), u"waiting for mains power"_s);
}
