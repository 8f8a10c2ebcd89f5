// Snapshot chains and scheduled runs through the controller with real rsync
// and a real schedule file in temporary folders: linking against the
// recorded snapshot, rotation, completion saving the job, and dispatch of
// due jobs one after another (a clock the test sets; run under
// dbus-run-session like the rest of the suite).
#include "EngineTestDoubles.h"
#include "TestFiles.h"
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"

#include "Clock.h"
#include "DestinationLock.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "UserNotifications.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

ino_t inode(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_ino;
}

QString snapshotName(int hour)
{
    return u"VLM Snapshot 06-12-2026 Sun %1-00 PM"_s.arg(hour);
}

class SnapshotChainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(u"Data"_s);
        m_dest = m_dir.filePath(u"Backup"_s);
        m_otherDest = m_dir.filePath(u"Second Backup"_s);
        QDir().mkpath(m_dest);
        QDir().mkpath(m_otherDest);
        writeFile(m_source + u"/same.txt"_s, "never changes\n");
        writeFile(m_source + u"/deep/same too.bin"_s, QByteArray(50000, 's'));
        writeFile(m_source + u"/changing.txt"_s, "version 0\n");
    }

    std::unique_ptr<MFTaskAppDelegate> makeController(const QString &toolDirectory = QString())
    {
        MFTaskAppServices services = realToolServices(m_clock, m_noPrivileges, m_schedule, m_notifier, toolDirectory);
        services.volumeIsMounted = [this](const QString &path) { return !m_unplugged.contains(QDir::cleanPath(path)); };
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        recordRunEnds(*controller, m_ends);
        return controller;
    }

    // Runs the event loop until `count` runs have ended and the window is
    // idle; the guard only turns a hang into a failure.
    void waitForRuns(qsizetype count, const std::function<void()> &onEachTurn = {})
    {
        processEventsUntil([&] {
            if (onEachTurn)
                onEachTurn();
            return m_ends.size() >= count && m_view.title == u"Backup"_s;
        });
        ASSERT_GE(m_ends.size(), count) << "the run never ended";
    }

    Outcome snapshotRun(MFTaskAppDelegate &controller, int hour)
    {
        m_clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(hour, 0), Qt::UTC));
        const qsizetype before = m_ends.size();
        controller.startBackup();
        waitForRuns(before + 1);
        return m_ends.value(before).first;
    }

    QStringList snapshotsOnDisk() const
    {
        return QDir(m_dest).entryList({u"VLM Snapshot *"_s}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    QString recordedLinkDest() const
    {
        const QList<JobRecord> records = m_schedule.file().arrayWithContentsOfFile();
        return records.size() == 1 ? JobRecords::linkDest(records.constFirst()) : u"(%1 records)"_s.arg(records.size());
    }

    // A job record for the schedule, due at 20:00 on Sunday 6 December 2026.
    void addDueSyncJob(const QString &dest, bool hardlinks = false)
    {
        BackupParameters job;
        job.hardlinks = hardlinks;
        job.sourcePath = m_source;
        job.destPath = dest;
        job.snapshotsToKeep = qlonglong(5);
        job.scheduledDates = {u"Sun-06-12-2026 20:00"_s};
        m_schedule.updateSharedArrayAndWriteToFile(&job);
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    QString m_otherDest;
    RecordingView m_view;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC)};
    NoPrivileges m_noPrivileges;
    RecordingPoster m_poster;
    SharedSchedule m_schedule{ScheduleFile(m_dir.filePath(u"support/Scheduled Backups.xml"_s), m_clock), m_poster};
    RecordingNotifier m_notifier;
    QList<QPair<Outcome, QString>> m_ends;
    QStringList m_unplugged; // paths whose volume is absent
};

TEST_F(SnapshotChainTest, ThreeRunsChainByHardLinksAndRotationKeepsTheLimitButNeverTheLinkDestination)
{
    struct Case
    {
        int limit;
        QStringList remaining; // after the third run
    };
    // With a limit of 1 the second run's only snapshot is its link
    // destination: it stays, and goes on the third run instead.
    const Case cases[] = {
        {1, {snapshotName(22), snapshotName(23)}},
        {2, {snapshotName(22), snapshotName(23)}},
        {3, {snapshotName(21), snapshotName(22), snapshotName(23)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.limit);
        QDir(m_dest).removeRecursively();
        QDir().mkpath(m_dest);
        m_schedule.deleteRows({0});
        m_view.reset();
        m_view.modeRow = 1;
        m_view.snapshotsText = QString::number(c.limit);
        auto controller = makeController();
        controller->backupSources = {m_source};
        controller->backupDest = m_dest;
        controller->snapshotsToKeep = c.limit;

        QStringList expectedLinkDest;
        for (int run = 0; run < 3; ++run) {
            SCOPED_TRACE(run);
            const int hour = 21 + run;
            // A new size each time: rsync's quick check compares size and
            // modification time, which may fall in the same second.
            writeFile(m_source + u"/changing.txt"_s, QByteArray(run + 1, 'v'));
            ASSERT_EQ(snapshotRun(*controller, hour), Outcome::Completed);

            const QString folder = m_dest + u'/' + snapshotName(hour) + u'/';
            EXPECT_EQ(recordedLinkDest(), folder);
            EXPECT_EQ(QFile(folder + u"Data/changing.txt"_s).size(), run + 1);
            if (run > 0) {
                const QString previous = m_dest + u'/' + snapshotName(hour - 1) + u"/Data"_s;
                EXPECT_EQ(inode(folder + u"Data/same.txt"_s), inode(previous + u"/same.txt"_s));
                EXPECT_EQ(inode(folder + u"Data/deep/same too.bin"_s), inode(previous + u"/deep/same too.bin"_s));
                EXPECT_NE(inode(folder + u"Data/changing.txt"_s), inode(previous + u"/changing.txt"_s));
            }
        }
        EXPECT_EQ(snapshotsOnDisk(), c.remaining);
        EXPECT_EQ(m_schedule.count(), 1); // the pair's record was replaced, not added again
        EXPECT_EQ(JobRecords::snapshotsToKeep(m_schedule.sharedParams().constFirst()).toLongLong(), c.limit);
        // Each completion asked to show its own snapshot folder's destination.
        ASSERT_FALSE(m_notifier.delivered.isEmpty());
        EXPECT_EQ(m_notifier.delivered.constLast().title, u"Operation Complete"_s);
        EXPECT_FALSE(m_notifier.delivered.constLast().revealPath.isEmpty());
        EXPECT_TRUE(m_notifier.delivered.constLast().playSound);
    }
}

TEST_F(SnapshotChainTest, AMissingRecordedLinkDestinationStartsANewChainWithAFullCopy)
{
    m_view.modeRow = 1;
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    ASSERT_EQ(snapshotRun(*controller, 21), Outcome::Completed);
    const QString first = m_dest + u'/' + snapshotName(21) + u'/';
    ASSERT_EQ(recordedLinkDest(), first);

    // The user moves the snapshot away; the record still names it.
    const QString moved = m_dir.filePath(u"moved away"_s);
    ASSERT_TRUE(QDir().rename(first, moved));
    ASSERT_EQ(snapshotRun(*controller, 22), Outcome::Completed);
    const QString second = m_dest + u'/' + snapshotName(22) + u'/';
    EXPECT_NE(inode(second + u"Data/same.txt"_s), inode(moved + u"/Data/same.txt"_s));
    EXPECT_EQ(QFile(second + u"Data/same.txt"_s).size(), 14);
    EXPECT_EQ(recordedLinkDest(), second);
}

TEST_F(SnapshotChainTest, ASyncRunWritesNoRecord)
{
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->startBackup();
    waitForRuns(1);
    EXPECT_EQ(m_ends.constFirst().first, Outcome::Completed);
    // Dispatch's check after the run rewrites the schedule, still empty.
    EXPECT_EQ(m_schedule.count(), 0);
    EXPECT_TRUE(m_schedule.file().arrayWithContentsOfFile().isEmpty());
}

TEST_F(SnapshotChainTest, StartedByTheAgentTwoDueJobsRunBackToBackAndThenTheApplicationQuits)
{
    addDueSyncJob(m_dest);
    addDueSyncJob(m_otherDest);
    m_poster.posted.clear();
    auto controller = makeController();
    controller->dispatcher()->applicationDidFinishLaunching({u"vellumor"_s, u"daemonLaunched"_s}, nullptr);
    EXPECT_TRUE(controller->dispatcher()->quitWhenAllDone());
    EXPECT_EQ(m_poster.posted.size(), 1); // both rolled forward in one rewrite
    for (const JobRecord &record : m_schedule.file().arrayWithContentsOfFile())
        EXPECT_EQ(JobRecords::scheduledDates(record), QStringList{u"Sun-13-12-2026 20:00"_s});
    EXPECT_EQ(m_view.title, u"Stop"_s);

    waitForRuns(2);
    EXPECT_EQ(m_ends.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(m_dest + u"/Data/same.txt"_s));
    EXPECT_TRUE(QFileInfo::exists(m_otherDest + u"/Data/same.txt"_s));
    EXPECT_EQ(m_view.terminateRequests, 1);
    EXPECT_EQ(m_view.quitQuestions, 0);
}

TEST_F(SnapshotChainTest, StartedByTheAgentWithNothingDueTheApplicationStays)
{
    BackupParameters job;
    job.sourcePath = m_source;
    job.destPath = m_dest;
    job.scheduledDates = {u"Sun-06-12-2026 22:00"_s}; // an hour from now
    m_schedule.updateSharedArrayAndWriteToFile(&job);
    auto controller = makeController();
    controller->dispatcher()->applicationDidFinishLaunching({u"vellumor"_s, u"daemonLaunched"_s}, nullptr);
    EXPECT_FALSE(controller->dispatcher()->quitWhenAllDone());
    EXPECT_EQ(m_view.title, u"Backup"_s);

    // A run by hand completes: the application still stays.
    controller->backupSources = {m_source};
    controller->backupDest = m_otherDest;
    controller->startBackup();
    waitForRuns(1);
    EXPECT_EQ(m_view.terminateRequests, 0);
}

TEST_F(SnapshotChainTest, AJobWhoseVolumeVanishedStillLetsTheQueueDrainAndQuit)
{
    addDueSyncJob(m_dest);
    addDueSyncJob(m_otherDest);
    auto controller = makeController();
    // Present when dispatch checks, gone when the first run looks.
    controller->dispatcher()->applicationDidFinishLaunching({u"daemonLaunched"_s}, nullptr);
    m_unplugged << m_dest;
    waitForRuns(2);
    EXPECT_EQ(m_ends.constFirst().first, Outcome::VolumeMissing);
    EXPECT_TRUE(QFileInfo::exists(m_otherDest + u"/Data/same.txt"_s));
    EXPECT_EQ(m_view.terminateRequests, 1);
}

TEST_F(SnapshotChainTest, StopDuringTheRemovalOfAnOldSnapshotInterruptsItAndLeavesTheRestForLater)
{
    // The bundle's tools, with a remover that waits for the test before it
    // reports its first item, and then never ends on its own.
    const QString tools = m_dir.filePath(u"tools"_s);
    QDir().mkpath(tools);
    const QString stage = QStringLiteral(VELLUMOR_STAGE) + u"/libexec/vellumor"_s;
    for (const QString &name : QDir(stage).entryList(QDir::Files))
        QFile::link(stage + u'/' + name, tools + u'/' + name);
    QFile::remove(tools + u"/dropcount"_s);
    const QString gate = m_dir.filePath(u"gate"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    writeFile(tools + u"/dropcount"_s,
              "#!/bin/sh\nread line < '" + QFile::encodeName(gate) + "'\necho \"removed '$2/a'\"\nexec cat\n");
    QFile::setPermissions(tools + u"/dropcount"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Rotation follows a good copy now: with a limit of 1 the run keeps its
    // link destination (the newer old one) and its own new snapshot, and
    // removes the oldest.
    const QString old = m_dest + u"/VLM Snapshot 01-12-2026 Tue 09-00 AM"_s;
    const QString newerOld = m_dest + u"/VLM Snapshot 02-12-2026 Wed 09-00 AM"_s;
    writeFile(old + u"/Data/old.txt"_s, "old\n");
    writeFile(newerOld + u"/Data/old.txt"_s, "newer old\n");
    m_view.modeRow = 1;
    auto controller = makeController(tools);
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->snapshotsToKeep = 1;
    controller->startBackup();

    bool stopped = false;
    int gateFd = -1;
    waitForRuns(1, [&] {
        if (stopped || !m_view.statusTexts.contains(u"Deleting old backup: VLM Snapshot 01-12-2026 Tue 09-00 AM"_s))
            return;
        stopped = true;
        controller->startButtonClicked(); // Stop
        // Read and write: the open never waits for the remover, which the
        // stop may have ended before it opened the gate.
        gateFd = ::open(QFile::encodeName(gate).constData(), O_RDWR);
        ASSERT_GE(gateFd, 0);
        ASSERT_EQ(::write(gateFd, "go\n", 3), 3);
    });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(m_ends.constFirst().first, Outcome::Stopped);
    // The worker returns once the remover is gone; the destroyed controller
    // waits for it, so the remover's end is settled after this.
    controller.reset();
    ::close(gateFd);
    // The snapshot being removed had been renamed out of the way first: no
    // half-removed folder keeps a snapshot's name.
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 09-00 AM.removing"_s));
    EXPECT_EQ(snapshotsOnDisk(), (QStringList{QFileInfo(newerOld).fileName(), snapshotName(21)}));
    EXPECT_EQ(m_schedule.count(), 0);

    // The next run, with the real remover, clears the leftover and rotates.
    auto next = makeController();
    next->backupSources = {m_source};
    next->backupDest = m_dest;
    next->snapshotsToKeep = 1;
    ASSERT_EQ(snapshotRun(*next, 22), Outcome::Completed);
    EXPECT_EQ(snapshotsOnDisk(), (QStringList{snapshotName(21), snapshotName(22)}));
    EXPECT_FALSE(QFileInfo::exists(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 09-00 AM.removing"_s));
}

QStringList workingFoldersIn(const QString &dest)
{
    return QDir(dest).entryList({u".VLM Snapshot *.incomplete"_s}, QDir::Dirs | QDir::Hidden, QDir::Name);
}

// Another run holds the destination (as a second process would): scheduled
// dispatch leaves that job waiting, naming why, and goes on to the next one;
// a run started by hand refuses at once, naming the destination; once the
// other run has ended the destination takes a run again.
TEST_F(SnapshotChainTest, ALockedDestinationIsRefusedAndDispatchMovesOn)
{
    DestinationLock other;
    ASSERT_FALSE(other.acquire(m_dest));
    addDueSyncJob(m_dest, true);
    addDueSyncJob(m_otherDest, true);
    auto controller = makeController();
    controller->dispatcher()->applicationDidFinishLaunching({u"daemonLaunched"_s}, nullptr);
    waitForRuns(1);
    ASSERT_EQ(m_ends.size(), 1);
    EXPECT_EQ(m_ends.at(0).first, Outcome::Completed);
    EXPECT_EQ(QDir(m_otherDest).entryList({u"VLM Snapshot *"_s}, QDir::Dirs).size(), 1);
    const QList<SkippedJob> skipped = controller->dispatcher()->skippedJobs();
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_EQ(skipped.at(0).destPath, m_dest);
    EXPECT_EQ(skipped.at(0).reason, SkipReason::DestinationLocked);
    EXPECT_EQ(m_view.terminateRequests, 1);

    m_view.modeRow = 1;
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    EXPECT_EQ(snapshotRun(*controller, 21), Outcome::Refused);
    EXPECT_EQ(m_ends.constLast().second, DestinationLock::busyText(m_dest));
    EXPECT_TRUE(m_view.statusTexts.contains(DestinationLock::busyText(m_dest)));
    EXPECT_TRUE(std::any_of(m_notifier.delivered.cbegin(), m_notifier.delivered.cend(), [&](const UserNotification &n) {
        return n.title == u"Backup Failed"_s && n.text.contains(DestinationLock::busyText(m_dest));
    }));
    EXPECT_TRUE(snapshotsOnDisk().isEmpty());

    other.release();
    EXPECT_EQ(snapshotRun(*controller, 22), Outcome::Completed);
}

// A scheduled job whose destination lies inside its source is refused with
// the terminal's reason, told once, and rolled to its next date, so the
// agent's next check does not find it due again; the next job still runs.
TEST_F(SnapshotChainTest, AScheduledDestinationInsideItsSourceIsRefusedOnceAndRolled)
{
    const QString inside = m_source + u"/backups"_s;
    ASSERT_TRUE(QDir().mkpath(inside));
    addDueSyncJob(inside);
    addDueSyncJob(m_otherDest);
    auto controller = makeController();
    controller->dispatcher()->applicationDidFinishLaunching({u"daemonLaunched"_s}, nullptr);
    const QList<SkippedJob> skipped = controller->dispatcher()->skippedJobs();
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_EQ(skipped.at(0).reason, SkipReason::UnsafeDestination);
    waitForRuns(1);
    EXPECT_EQ(m_ends.size(), 1);
    ASSERT_EQ(m_view.alerts.size(), 1);
    EXPECT_TRUE(m_view.alerts.at(0).informativeText.contains(u"is inside the source"_s));
    EXPECT_TRUE(QDir(inside).isEmpty());
    const JobRecord *record = m_schedule.matchingDictionaryForSourceAndDestExists(m_source, inside);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(JobRecords::scheduledDates(*record), QStringList{u"Sun-13-12-2026 20:00"_s});
}

// A stop mid-copy leaves the copy in its hidden working folder, never under a
// snapshot's name, and the record's link destination as it was; the next run
// completes that folder.
TEST_F(SnapshotChainTest, AStopMidCopyLeavesNoSnapshotNameAndTheNextRunCompletesIt)
{
    m_view.modeRow = 1;
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    ASSERT_EQ(snapshotRun(*controller, 20), Outcome::Completed);
    const QString first = m_dest + u'/' + snapshotName(20) + u'/';
    ASSERT_EQ(recordedLinkDest(), first);

    // Large enough to be still copying when the first progress shows.
    writeFile(m_source + u"/big.bin"_s, QByteArray(256 * 1024 * 1024, 'b'));
    m_clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC));
    controller->startBackup();
    bool stopped = false;
    waitForRuns(2, [&] {
        MFTask *task = controller->currentTask();
        if (stopped || !task || !task->isRunning()
            || !QFileInfo::exists(m_dest + u"/.VLM Snapshot 06-12-2026 Sun 21-00 PM.incomplete/Data"_s))
            return;
        stopped = true;
        controller->startButtonClicked(); // Stop
    });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(m_ends.at(1).first, Outcome::Stopped);
    EXPECT_EQ(snapshotsOnDisk(), QStringList{snapshotName(20)});
    EXPECT_EQ(workingFoldersIn(m_dest).size(), 1);
    EXPECT_EQ(recordedLinkDest(), first);

    ASSERT_EQ(snapshotRun(*controller, 22), Outcome::Completed) << qPrintable(m_ends.constLast().second);
    EXPECT_EQ(snapshotsOnDisk(), (QStringList{snapshotName(20), snapshotName(22)}));
    EXPECT_TRUE(workingFoldersIn(m_dest).isEmpty());
    EXPECT_EQ(QFileInfo(m_dest + u'/' + snapshotName(22) + u"/Data/big.bin"_s).size(), 256 * 1024 * 1024);
    EXPECT_EQ(recordedLinkDest(), m_dest + u'/' + snapshotName(22) + u'/');
}

// Out of space: the run ends as such, no snapshot is named, none is lost,
// and the record still links against the last complete one.
TEST_F(SnapshotChainTest, OutOfSpaceKeepsTheChainAndItsLinkDestination)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs as the destination";
    QDir(m_dest).removeRecursively();
    QDir().mkpath(m_dest);
    ASSERT_EQ(::mount("vlmsmall", QFile::encodeName(m_dest).constData(), "tmpfs", 0, "size=2m"), 0);
    const auto unmount = qScopeGuard([this] { ::umount2(QFile::encodeName(m_dest).constData(), MNT_DETACH); });
    m_view.modeRow = 1;
    m_view.snapshotsText = u"3"_s;
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->snapshotsToKeep = 3;
    ASSERT_EQ(snapshotRun(*controller, 13), Outcome::Completed);
    writeFile(m_source + u"/changing.txt"_s, "version 1, longer\n");
    ASSERT_EQ(snapshotRun(*controller, 14), Outcome::Completed);
    const QString second = m_dest + u'/' + snapshotName(14) + u'/';
    writeFile(m_source + u"/big.bin"_s, QByteArray(3 * 1024 * 1024, 'b'));
    for (const int hour : {15, 16, 17}) {
        SCOPED_TRACE(hour);
        EXPECT_EQ(snapshotRun(*controller, hour), Outcome::OutOfSpace);
        EXPECT_EQ(snapshotsOnDisk(), (QStringList{snapshotName(13), snapshotName(14)}));
        EXPECT_EQ(recordedLinkDest(), second);
        EXPECT_EQ(controller->linkDest, second);
    }
    QFile::remove(m_source + u"/big.bin"_s);
    ASSERT_EQ(snapshotRun(*controller, 18), Outcome::Completed);
    EXPECT_EQ(snapshotsOnDisk(), (QStringList{snapshotName(13), snapshotName(14), snapshotName(18)}));
    EXPECT_EQ(inode(second + u"Data/same.txt"_s), inode(m_dest + u'/' + snapshotName(18) + u"/Data/same.txt"_s));
}

// An old snapshot that cannot be removed ends the run "with errors", naming
// it and the reason in the status line and the notification.
TEST_F(SnapshotChainTest, AnOldSnapshotThatCannotBeRemovedIsReported)
{
    const QString old = m_dest + u"/VLM Snapshot 01-12-2026 Tue 09-00 AM"_s;
    writeFile(old + u"/Data/stuck/inside.txt"_s, "x");
    writeFile(m_dest + u"/VLM Snapshot 02-12-2026 Wed 09-00 AM/Data/same.txt"_s, "never changes\n");
    const QByteArray stuck = QFile::encodeName(old + u"/Data/stuck"_s);
    const bool mounted = ::geteuid() == 0 && ::mount("vlmstuck", stuck.constData(), "tmpfs", 0, "size=64k") == 0;
    if (!mounted)
        QFile::setPermissions(old + u"/Data/stuck"_s, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray moved
        = QFile::encodeName(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 09-00 AM.removing/Data/stuck"_s);
    const auto cleanUp = qScopeGuard([&] {
        if (mounted)
            ::umount2(moved.constData(), MNT_DETACH);
        ::chmod(moved.constData(), 0700);
    });
    m_view.modeRow = 1;
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->snapshotsToKeep = 1;
    ASSERT_EQ(snapshotRun(*controller, 21), Outcome::CompletedWithErrors);
    const QString detail = m_ends.constFirst().second;
    EXPECT_TRUE(detail.contains(u"Could not remove the old snapshot \"VLM Snapshot 01-12-2026 Tue 09-00 AM\": "_s))
        << qPrintable(detail);
    // The status is set after the reader's own last text, on a later turn.
    processEventsUntil([&] { return m_view.statusTexts.constLast() == detail; }, 10000);
    EXPECT_EQ(m_view.statusTexts.constLast(), detail);
    ASSERT_FALSE(m_notifier.delivered.isEmpty());
    EXPECT_TRUE(m_notifier.delivered.constLast().text.contains(detail))
        << qPrintable(m_notifier.delivered.constLast().text);
    // The new snapshot is complete and recorded all the same.
    EXPECT_EQ(recordedLinkDest(), m_dest + u'/' + snapshotName(21) + u'/');
}

} // namespace
