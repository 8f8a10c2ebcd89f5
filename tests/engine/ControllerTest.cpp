// Whole runs through the controller on tasks that replay recorded rsync
// output: how each run ends, what the window shows, what a stop leaves
// behind, which programs were started. The real-rsync runs that prove the
// replay tells the truth are in BackupRunTest.cpp.
#include "EngineTestDoubles.h"
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"
#include "ReplayingTask.h"
#include "RunHistory.h"
#include "SnapshotFolders.h"
#include "SpaceCheck.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;
using Phase = BackupRun::Phase;

bool isDryRun(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.constFirst() == u"--dry-run";
}

// The dry run and the copy of a first Sync of the recorded tree.
TaskScript recordedSync(const QString &, const QStringList &arguments)
{
    return isDryRun(arguments) ? TaskScript::fromFixture(QStringLiteral("01-sync-initial-dry-run.out"))
                               : TaskScript::fromFixture(QStringLiteral("02-sync-initial.out"));
}

struct RunResult
{
    Outcome outcome = Outcome::Failed;
    QString detail;
    bool finished = false;
};

class ControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(QStringLiteral("Data"));
        m_dest = m_dir.filePath(QStringLiteral("Backup"));
        QDir().mkpath(m_source);
        QDir().mkpath(m_dest);
    }

    // `rsync` answers the dry run and the copy; every other program ends at once.
    void script(std::function<TaskScript(const QString &, const QStringList &)> rsync) { m_rsync = std::move(rsync); }

    // A run whose copy prints one item and then waits, started and running.
    std::unique_ptr<MFTaskAppDelegate> startRunWithStallingCopy()
    {
        script([](const QString &, const QStringList &arguments) {
            if (isDryRun(arguments))
                return TaskScript().output("\t://: Data/\n");
            TaskScript copy = TaskScript().output("\t://: Data/\n");
            copy.stalls = true;
            return copy;
        });
        auto controller = makeController();
        controller->startBackup();
        processEventsUntil([&] { return controller->currentTask() && controller->currentTask()->isRunning(); });
        return controller;
    }

    std::unique_ptr<MFTaskAppDelegate> makeController()
    {
        MFTaskAppServices services;
        services.clock = &m_clock;
        services.tasks = &m_tasks;
        services.privilegedRunner = &m_noPrivileges;
        services.toolDirectory = m_dir.filePath(QStringLiteral("tools"));
        if (m_volumeIsMounted)
            services.volumeIsMounted = m_volumeIsMounted;
        services.runHistory = &m_history;
        services.freeSpace = m_freeSpace;
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        controller->backupSources = {m_source};
        controller->backupDest = m_dest;
        QObject::connect(controller.get(), &MFTaskAppDelegate::runFinished, controller.get(),
                         [this](Outcome outcome, const QString &detail) {
                             m_result = {outcome, detail, true};
                         });
        return controller;
    }

    RunResult waitForRun()
    {
        processEventsUntil([&] { return m_result.finished; });
        EXPECT_TRUE(m_result.finished) << "the run never ended";
        // The texts the run queued for the window (its final status).
        QCoreApplication::sendPostedEvents();
        return std::exchange(m_result, {});
    }

    QStringList copyLaunch() const
    {
        for (const QStringList &launch : m_tasks.launchesOf(QStringLiteral("rsync")))
            if (!isDryRun(launch.mid(1)))
                return launch;
        return {};
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    std::function<TaskScript(const QString &, const QStringList &)> m_rsync = recordedSync;
    // The snapshot remover, diskutil: each ends at once unless a test says otherwise.
    std::function<TaskScript(const QString &, const QStringList &)> m_otherTools;
    ReplayingTaskFactory m_tasks{[this](const QString &program, const QStringList &arguments) {
        if (program == u"rsync")
            return m_rsync(program, arguments);
        return m_otherTools ? m_otherTools(program, arguments) : TaskScript();
    }};
    RecordingView m_view;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC)};
    NoPrivileges m_noPrivileges;
    std::function<bool(const QString &)> m_volumeIsMounted;
    RunResult m_result;
    RunHistory m_history{m_dir.filePath(QStringLiteral("history.jsonl"))};
    std::function<std::optional<qint64>(const QString &)> m_freeSpace;
};

TEST_F(ControllerTest, ARecordedSyncCompletesWithItsMeasuredTotalsAndLeavesTheWindowIdle)
{
    auto controller = makeController();
    QList<RunState> states;
    QObject::connect(controller.get(), &MFTaskAppDelegate::runStateChanged, [&](RunState state) {
        states << state;
        EXPECT_EQ(m_view.title, RunStates::startButtonTitle(state)) << "the title follows the state";
    });
    controller->startBackup();
    EXPECT_EQ(m_view.title, QStringLiteral("Stop"));
    EXPECT_FALSE(m_view.sourceButtonEnabled);
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_EQ(states,
              (QList<RunState>{RunState::Preparing, RunState::DryRun, RunState::Copying, RunState::Finishing,
                               RunState::Idle}));
    EXPECT_TRUE(m_view.sourceButtonEnabled);
    EXPECT_TRUE(m_view.modeChoiceVisible);
    EXPECT_FALSE(m_view.displayTextVisible);
    EXPECT_EQ(controller->currentRun()->phase(), Phase::Idle);
    // The dry run's 194 lines less the 15 of its summary block.
    EXPECT_EQ(controller->taskDelegate()->totalFiles(), 179);
    EXPECT_EQ(m_view.progressValue, m_view.progressMax);
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("rsync")).size(), 2);
    const QStringList copy = copyLaunch();
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_EQ(copy.last(), m_dest + u'/');
    EXPECT_EQ(m_view.rows.size(), copy.size() - 1);
    EXPECT_EQ(m_view.notifications.last().message, QStringLiteral("Operation Complete"));
    EXPECT_EQ(m_tasks.runningCount(), 0);
}

TEST_F(ControllerTest, EndingsWithoutACleanSummary)
{
    const QByteArray item = "\t://: Data/\n";
    const struct
    {
        const char *name;
        TaskScript copy;
        Outcome outcome;
        QString detailContains;
    } cases[] = {
        {"fatal error, no summary",
         TaskScript()
             .output(item)
             .errorOutput("rsync: [Receiver] mkdir \"/x\" failed: Permission denied (13)\n"
                          "rsync error: error in file IO (code 11) at main.c(791) [Receiver=3.5.0]\n")
             .exitingWith(11),
         // The line that names the cause, not rsync's generic closing line.
         Outcome::Failed, QStringLiteral("Backup failed: rsync: [Receiver] mkdir \"/x\" failed: Permission denied")},
        {"killed from outside, silent", TaskScript{{}, TaskTermination::signalled(SIGKILL)}, Outcome::Failed,
         QStringLiteral("killed by signal 9")},
        {"ended without a word", TaskScript{{}, TaskTermination::exited(0)}, Outcome::Failed,
         QStringLiteral("rsync exited with 0")},
        {"errors glued onto progress, then a summary",
         TaskScript()
             .output("\t://: Data/a\n      32,768  50%   1.00MB/s    0:00:00  rsync: [sender] read errors "
                     "mapping \"/s/a\": Input/output error (5)\nrsync: [sender] open \"/s/b\" failed: "
                     "Permission denied (13)\n\nNumber of files: 2 (reg: 1, dir: 1)\n"
                     "Number of created files: 1\n")
             .exitingWith(23),
         Outcome::CompletedWithErrors, QStringLiteral("2 errors")},
        {"inodes exhausted, then a summary",
         TaskScript()
             .output("\t://: Data/a\nrsync: [receiver] mkstemp \"/d/.a.XYZ\" failed: No space left on "
                     "device (28)\n\nNumber of files: 2 (reg: 1, dir: 1)\n")
             .exitingWith(23),
         Outcome::OutOfSpace, QStringLiteral("Out of drive space")},
        {"the copy program is missing", TaskScript{{}, {}, true}, Outcome::Failed,
         QStringLiteral("Cannot start rsync: ")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        script([&c](const QString &, const QStringList &arguments) {
            return isDryRun(arguments) ? TaskScript().output("\t://: Data/\n\t://: Data/a\n") : c.copy;
        });
        m_view.reset();
        auto controller = makeController();
        controller->startBackup();
        const RunResult result = waitForRun();
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_TRUE(result.detail.contains(c.detailContains)) << result.detail.toStdString();
        EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        if (c.outcome == Outcome::Failed) {
            ASSERT_FALSE(m_view.statusTexts.isEmpty());
            EXPECT_EQ(m_view.statusTexts.last(), result.detail);
        }
    }
}

TEST_F(ControllerTest, AMissingDryRunProgramFailsTheRunAndStartsNoCopy)
{
    script([](const QString &, const QStringList &) { return TaskScript{{}, {}, true}; });
    auto controller = makeController();
    controller->startBackup();
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(result.detail.startsWith(QStringLiteral("Cannot start rsync: "))) << result.detail.toStdString();
    EXPECT_EQ(m_view.statusTexts.last(), result.detail);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("rsync")).size(), 1);
}

TEST_F(ControllerTest, ADestinationThatCannotBeMadeFailsWithTheReasonAndStartsNothing)
{
    QFile file(m_dir.filePath(u"a file"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    m_volumeIsMounted = [](const QString &) { return true; };
    auto controller = makeController();
    controller->backupDest = file.fileName() + u"/Backup"_s;
    controller->startBackup();
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.detail, u"Cannot create the destination folder %1/Backup: Not a directory"_s.arg(file.fileName()));
    EXPECT_EQ(m_view.statusTexts.last(), result.detail);
    EXPECT_TRUE(m_tasks.launchesOf(u"rsync"_s).isEmpty());
}

TEST_F(ControllerTest, StoppingMidCopyEndsTheCopyAndReportsAStop)
{
    auto controller = startRunWithStallingCopy();
    ASSERT_EQ(m_tasks.runningCount(), 1);
    EXPECT_EQ(controller->currentRun()->phase(), Phase::Copying);

    controller->startButtonClicked(); // reads "Stop": the stop path
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    processEventsUntil([&] { return m_tasks.runningCount() == 0; });
    EXPECT_EQ(m_tasks.runningCount(), 0);
    EXPECT_FALSE(controller->currentTask()->isRunning());
}

TEST_F(ControllerTest, StoppingDuringTheDryRunLaunchesNothing)
{
    script([](const QString &, const QStringList &arguments) {
        TaskScript run = TaskScript().output("\t://: Data/\n");
        run.stalls = isDryRun(arguments); // the dry run "scans" until it is killed
        return run;
    });
    auto controller = makeController();
    controller->startBackup();
    processEventsUntil([&] { return m_tasks.runningCount() == 1; });
    ASSERT_EQ(m_tasks.runningCount(), 1);
    controller->startButtonClicked();
    EXPECT_EQ(waitForRun().outcome, Outcome::Stopped);
    controller.reset(); // waits for the worker to finish
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("rsync")).size(), 1) << "the copy was never launched";
    EXPECT_EQ(m_tasks.runningCount(), 0);
}

// Old snapshots go after a good copy; a stop while a remover that writes
// nothing is deleting one ends the removal and tries nothing more.
TEST_F(ControllerTest, StoppingWhileAQuietRemoverDeletesAnOldSnapshotEndsTheRemoval)
{
    const QString old = m_dest + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 09-00 AM");
    QDir().mkpath(old + QStringLiteral("/") + QFileInfo(m_source).fileName());
    // The run links against the newer one, which therefore stays.
    QDir().mkpath(m_dest + QStringLiteral("/VLM Snapshot 02-12-2026 Wed 09-00 AM/") + QFileInfo(m_source).fileName());
    // The replayed copy writes nothing: the folder it would have filled is
    // there already, as a run cut short would have left it.
    QDir().mkpath(m_dest + QStringLiteral("/.VLM Snapshot 06-12-2026 Sun 21-00 PM.incomplete/")
                  + QFileInfo(m_source).fileName());
    m_otherTools = [](const QString &program, const QStringList &) {
        TaskScript script;
        script.stalls = program == u"dropcount"; // deleting one huge file: no output for long
        return script;
    };
    m_view.modeRow = 1;
    auto controller = makeController();
    controller->snapshotsToKeep = 1;
    controller->startBackup();
    processEventsUntil([&] { return !m_tasks.launchesOf(QStringLiteral("dropcount")).isEmpty(); });
    ASSERT_EQ(m_tasks.launchesOf(QStringLiteral("dropcount")).size(), 1);
    EXPECT_TRUE(m_tasks.launchesOf(QStringLiteral("dropcount")).constFirst().last().contains(u".removing"));
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("rsync")).size(), 2) << "the dry run and the copy came first";
    EXPECT_EQ(controller->currentRun()->phase(), Phase::Rotating);

    controller->startButtonClicked();
    EXPECT_EQ(waitForRun().outcome, Outcome::Stopped);
    controller.reset(); // waits for the worker, which waits for the remover
    EXPECT_EQ(m_tasks.runningCount(), 0);
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("dropcount")).size(), 1) << "no further attempt after the stop";
}

TEST_F(ControllerTest, ATaskOfAnEarlierRunNeverReportsIntoTheNextOne)
{
    auto controller = makeController();
    controller->startBackup();
    EXPECT_EQ(waitForRun().outcome, Outcome::Completed);
    const MFTask *first = controller->currentTask();
    controller->startBackup();
    EXPECT_NE(controller->currentTask(), first);
    EXPECT_EQ(waitForRun().outcome, Outcome::Completed);
    EXPECT_EQ(m_tasks.launchesOf(QStringLiteral("rsync")).size(), 4);
}

TEST_F(ControllerTest, AMissingRemovableDestinationAlertsAndStartsNothing)
{
    const QString missing = m_dir.filePath(QStringLiteral("media/USB Disk/Backups"));
    m_volumeIsMounted = [missing](const QString &path) { return path != missing; };
    auto controller = makeController();
    controller->backupDest = missing;
    controller->startBackup();
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::VolumeMissing);
    ASSERT_EQ(m_view.alerts.size(), 1);
    EXPECT_EQ(m_view.alerts[0].message, QStringLiteral("Can't start backup"));
    EXPECT_EQ(m_view.alerts[0].informativeText,
              QStringLiteral("The backup cannot start because %1 is not available. If it is on an external disk, "
                             "you can connect the disk and try again.")
                  .arg(missing));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("media"))));
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_TRUE(m_tasks.launches().isEmpty());
}

TEST_F(ControllerTest, ARunThatNeverStartedAnnouncesNothingAndLeavesTheBarAtRest)
{
    const QString missing = m_dir.filePath(QStringLiteral("media/USB Disk/Backups"));
    const struct
    {
        const char *name;
        QString dest;
        Outcome outcome;
    } cases[] = {
        {"the destination's volume is missing", missing, Outcome::VolumeMissing},
        {"a relative destination", QStringLiteral("Backup"), Outcome::Refused},
        {"a destination inside the source", m_source + QStringLiteral("/backups"), Outcome::Refused},
    };
    m_volumeIsMounted = [missing](const QString &path) { return path != missing; };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_view.reset();
        auto controller = makeController();
        controller->backupDest = c.dest;
        controller->startBackup();
        EXPECT_EQ(waitForRun().outcome, c.outcome);
        EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        EXPECT_FALSE(m_view.progressIndeterminate) << "the busy bar stopped with the run";
        for (const auto &notification : std::as_const(m_view.notifications))
            EXPECT_NE(notification.message, QStringLiteral("Backup Starting"));
    }
    EXPECT_TRUE(m_tasks.launchesOf(QStringLiteral("rsync")).isEmpty());
}

TEST_F(ControllerTest, CancellingTheRestoreChooserStartsNothing)
{
    auto controller = makeController();
    m_view.chooserAnswers = {};
    controller->restoreBackup();
    EXPECT_FALSE(controller->isRestore);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_TRUE(m_view.notifications.isEmpty());
    EXPECT_TRUE(m_tasks.launches().isEmpty());
}

TEST_F(ControllerTest, QuitDecision)
{
    EXPECT_TRUE(makeController()->applicationShouldTerminate()) << "idle: never asks";
    auto controller = startRunWithStallingCopy();
    EXPECT_FALSE(controller->applicationShouldTerminate());
    EXPECT_EQ(m_view.quitQuestions, 1);
    controller->quitOrCancel(1001);
    EXPECT_EQ(m_view.terminateRequests, 0);
    controller->quitOrCancel(1000);
    EXPECT_EQ(m_view.terminateRequests, 1);
    EXPECT_TRUE(controller->applicationShouldTerminate()) << "confirmed: quits";
    controller->isFinderCopy = true;
    controller->userSelectedShouldTerminate = false;
    EXPECT_TRUE(controller->applicationShouldTerminate()) << "a Finder copy never asks";
    EXPECT_EQ(controller->runState(), RunState::Stopping);
}

// --- Honest outcomes -------------------------------------------------------------

TEST_F(ControllerTest, TheOutcomeFollowsRsyncsExitStatusOnceItHasEnded)
{
    const struct
    {
        const char *name;
        TaskScript copy;
        Outcome outcome;
        QString status; // the run's last status text
        QString title;  // the desktop notification's title
        RunRecord::Outcome recorded = RunRecord::Outcome::Failed;
    } cases[] = {
        {"clean", TaskScript::fromFixture(QStringLiteral("02-sync-initial.out")), Outcome::Completed,
         QStringLiteral("Backup Complete."), QStringLiteral("Operation Complete"), RunRecord::Outcome::Succeeded},
        // rsync's own output: the error line has no "rsync:" prefix and the
        // code-23 line comes after the summary.
        {"path too long, exit 23 after the summary", TaskScript::fromFixture(u"26-sync-path-too-long.out"_s, 23),
         Outcome::CompletedWithErrors,
         QStringLiteral("Finished with 1 error: filename overflows max-path len by 23: Deep/level00-"),
         QStringLiteral("Backup Finished with Errors")},
        {"a missing source, exit 23 after the summary", TaskScript::fromFixture(u"21-sync-missing-source.out"_s, 23),
         Outcome::CompletedWithErrors, QStringLiteral("Finished with 1 error: rsync: [sender] link_stat"),
         QStringLiteral("Backup Finished with Errors")},
        {"vanished source files",
         TaskScript().output("\t://: Data/a\nfile has vanished: \"/s/b\"\n\nNumber of files: 2\n").exitingWith(24),
         Outcome::CompletedWithNote, QStringLiteral("Backup Complete. Some source files vanished"),
         QStringLiteral("Operation Complete"), RunRecord::Outcome::SucceededWithVanished},
        {"a full disk, exit 11", TaskScript::fromFixture(u"13-disk-full-blocks.out"_s, 11), Outcome::OutOfSpace,
         QStringLiteral("Out of drive space: rsync: [receiver] write failed on"), QStringLiteral("Out of drive space"),
         RunRecord::Outcome::OutOfSpace},
        {"a stop from outside, exit 20", TaskScript::fromFixture(u"15-sigterm-pid.out"_s, 20), Outcome::Failed,
         QStringLiteral("Backup failed: rsync error: received SIGINT, SIGTERM, or SIGHUP (code 20)"),
         QStringLiteral("Backup Failed")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        script([&c](const QString &, const QStringList &arguments) {
            return isDryRun(arguments) ? TaskScript().output("\t://: Data/\n\t://: Data/a\n") : c.copy;
        });
        m_view.reset();
        auto controller = makeController();
        controller->startBackup();
        const RunResult result = waitForRun();
        EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
        ASSERT_FALSE(m_view.statusTexts.isEmpty());
        EXPECT_TRUE(m_view.statusTexts.last().startsWith(c.status)) << m_view.statusTexts.last().toStdString();
        ASSERT_FALSE(m_view.notifications.isEmpty());
        EXPECT_EQ(m_view.notifications.last().message, c.title);
        if (c.outcome != Outcome::Completed && c.outcome != Outcome::CompletedWithNote) {
            EXPECT_FALSE(m_view.statusTexts.contains(QStringLiteral("Backup Complete.")));
            EXPECT_EQ(result.detail, m_view.statusTexts.last());
        }
        // The history holds the run: its pair, outcome, first cause and times.
        const RunRecord recorded = m_history.read().last();
        EXPECT_EQ(recorded.outcome, c.recorded);
        EXPECT_EQ(recorded.sourcePath, m_source);
        EXPECT_EQ(recorded.destPath, m_dest);
        EXPECT_EQ(recorded.kind, RunRecord::Kind::Sync);
        EXPECT_EQ(recorded.ended, m_clock.now());
        EXPECT_EQ(recorded.cause, recorded.succeeded() ? QString() : result.detail);
    }
}

TEST_F(ControllerTest, TheStopActionEndsTheRunAsStoppedAndStartsNoOtherJob)
{
    auto controller = startRunWithStallingCopy();
    ASSERT_EQ(m_tasks.runningCount(), 1);
    controller->stop();
    const RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    EXPECT_EQ(m_history.read().last().outcome, RunRecord::Outcome::Stopped);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    processEventsUntil([&] { return m_tasks.runningCount() == 0; });
    QCoreApplication::sendPostedEvents();
    // The killed copy's end completes nothing and announces no failure.
    EXPECT_FALSE(m_result.finished);
    for (const auto &notification : std::as_const(m_view.notifications))
        EXPECT_NE(notification.message, QStringLiteral("Backup Failed"));
    // The stop says so, until another job is on screen.
    EXPECT_EQ(m_view.statusTexts.last(), QStringLiteral("Stopped."));
    controller->jobOnScreenChanged();
    EXPECT_EQ(m_view.statusTexts.last(), QString());
}

TEST_F(ControllerTest, EveryRunOfASeriesShowsItsStatus)
{
    // Items in one chunk, the summary in the next: a tick shows the count
    // in between, and the end shows the final count.
    script([](const QString &, const QStringList &arguments) {
        return isDryRun(arguments)
            ? TaskScript().output("\t://: Data/\n\t://: Data/a\n")
            : TaskScript().output("\t://: Data/\n\t://: Data/a\n").output("\nNumber of files: 2\n");
    });
    auto controller = makeController();
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        m_view.statusTexts.clear();
        // Started as dispatch starts a queued job: no start button, no reset.
        controller->startBackup();
        EXPECT_EQ(waitForRun().outcome, Outcome::Completed);
        EXPECT_GE(std::count_if(m_view.statusTexts.cbegin(), m_view.statusTexts.cend(),
                                [](const QString &text) { return text.startsWith(u"Copied 2 of about"); }),
                  2)
            << m_view.statusTexts.join(u'|').toStdString();
        EXPECT_EQ(m_view.statusTexts.last(), QStringLiteral("Backup Complete."));
    }
}

// --- Room on the destination ------------------------------------------------------

// A dry run that counts 1.5 GB to copy.
TaskScript measuringDryRun(const QString &, const QStringList &arguments)
{
    return isDryRun(arguments) ? TaskScript().output("\t://: Data/\n\t://: Data/big\n\nNumber of files: 2\n"
                                                     "Total transferred file size: 1,610,612,736 bytes\n")
                               : TaskScript::fromFixture(QStringLiteral("02-sync-initial.out"));
}

TEST_F(ControllerTest, ABackupThatCannotFitIsRefusedBeforeItCopies)
{
    const qint64 mb = 1024 * 1024;
    const struct
    {
        const char *name;
        std::optional<qint64> free;
        Outcome outcome;
    } cases[] = {
        {"38 MB free", 38 * mb, Outcome::OutOfSpace},
        {"just enough", 1536 * mb, Outcome::Completed},
        {"free space unknown", std::nullopt, Outcome::Completed},
    };
    script(measuringDryRun);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_view.reset();
        m_freeSpace = [&c](const QString &) { return c.free; };
        auto controller = makeController();
        controller->startBackup();
        const RunResult result = waitForRun();
        EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
        if (c.outcome != Outcome::OutOfSpace)
            continue;
        EXPECT_EQ(result.detail, QStringLiteral("Backup has 38 MB free; this backup needs about 1.5 GB."));
        EXPECT_EQ(m_view.statusTexts.last(), result.detail);
        EXPECT_TRUE(copyLaunch().isEmpty()) << "the copy never started";
        ASSERT_EQ(m_view.alerts.size(), 1);
        EXPECT_EQ(m_view.alerts[0].informativeText, result.detail);
        EXPECT_TRUE(m_view.roomOffers.isEmpty()) << "a job without thinning has nothing to offer";
        EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        const RunRecord recorded = m_history.read().last();
        EXPECT_EQ(recorded.outcome, RunRecord::Outcome::OutOfSpace);
        EXPECT_EQ(recorded.cause, result.detail);
    }
}

TEST_F(ControllerTest, AThinningJobRefusedForSpaceOffersTheSnapshotsItsRuleGivesUpAndRemovesThemOnlyOnYes)
{
    // Forty snapshots of the job made on one day a year ago: thinning keeps
    // that day's first and the newest.
    const QString sourceName = QFileInfo(m_source).fileName();
    QStringList all;
    for (int half = 0; half < 40; ++half) {
        const QDateTime date = QDateTime(QDate(2025, 11, 1), QTime(0, 0), Qt::UTC).addSecs(half * 1800);
        all << m_dest + u'/' + SnapshotFolders::snapshotFolderName(date, QLocale(QLocale::English));
        QDir().mkpath(all.last() + u'/' + sourceName);
    }
    script(measuringDryRun);
    m_freeSpace = [](const QString &) { return std::optional<qint64>(38 * 1024 * 1024); };
    m_view.modeRow = 1;
    auto controller = makeController();
    controller->thinning = ThinningChoice{ThinningPolicy()};
    controller->startBackup();
    EXPECT_EQ(waitForRun().outcome, Outcome::OutOfSpace);
    ASSERT_EQ(m_view.roomOffers.size(), 1);
    EXPECT_TRUE(m_view.alerts.isEmpty()) << "the offer says it all";
    const RoomOffer offer = m_view.roomOffers.first();
    EXPECT_EQ(offer.folders, all.mid(1, 38));
    EXPECT_TRUE(offer.detail().startsWith(QStringLiteral("Backup has 38 MB free")));
    EXPECT_EQ(offer.pruneCommand(), u"vellumor-cli prune --thin 24,31,8,12 '"_s + m_source + u"' '"_s + m_dest + u'\'');
    for (const QString &folder : std::as_const(all))
        ASSERT_TRUE(QFileInfo::exists(folder)) << "nothing goes before the yes";

    // The remover removes what it is given, as dropcount does.
    m_otherTools = [](const QString &program, const QStringList &arguments) {
        if (program == u"dropcount")
            QDir(arguments.last()).removeRecursively();
        return TaskScript();
    };
    m_view.acceptRoomOffer();
    processEventsUntil([&] { return m_view.statusTexts.last().startsWith(u"Removed "); });
    EXPECT_EQ(m_view.statusTexts.last(), u"Removed 38 old snapshots. Start the backup again to use the room."_s);
    for (const QString &folder : std::as_const(all))
        EXPECT_EQ(QFileInfo::exists(folder), !offer.folders.contains(folder)) << folder.toStdString();
}

TEST(SpaceCheck, SizesAsPeopleSayThem)
{
    const struct
    {
        qint64 bytes;
        const char *text;
    } cases[] = {
        {900, "900 bytes"},
        {38 * 1024 * 1024, "38 MB"},
        {qint64(1.5 * 1024 * 1024 * 1024), "1.5 GB"},
        {2LL * 1024 * 1024 * 1024, "2 GB"},
        {9999 * 1024, "9.8 MB"},
        {qint64(9.97 * 1024), "10 KB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SpaceCheck::approximateSize(c.bytes).toStdString(), c.text) << c.bytes;
}

} // namespace
