// Snapshot chains and scheduled runs through the controller with real rsync
// and a real schedule file in temporary folders: linking against the
// recorded snapshot, rotation, completion saving the job, and dispatch of
// due jobs one after another (a clock the test sets; run under
// dbus-run-session like the rest of the suite).
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"

#include "Clock.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "UserNotifications.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

class NoPrivileges : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &) override { return 0; }
};

class RecordingNotifier : public UserNotifier
{
public:
    void deliverNotification(const UserNotification &notification) override { delivered.append(notification); }
    QList<UserNotification> delivered;
};

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

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
        MFTaskAppServices services;
        services.clock = &m_clock;
        services.privilegedRunner = &m_noPrivileges;
        services.toolDirectory = toolDirectory;
        services.schedule = &m_schedule;
        services.notifier = &m_notifier;
        services.volumeIsMounted = [this](const QString &path) { return !m_unplugged.contains(QDir::cleanPath(path)); };
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        QObject::connect(controller.get(), &MFTaskAppDelegate::runFinished, controller.get(),
                         [this](Outcome outcome, const QString &detail) {
                             m_ends.append({outcome, detail});
                         });
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
    void addDueSyncJob(const QString &dest)
    {
        BackupParameters job;
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

    const QString old = m_dest + u"/VLM Snapshot 01-12-2026 Tue 09-00 AM"_s;
    writeFile(old + u"/Data/old.txt"_s, "old\n");
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
    EXPECT_TRUE(QFileInfo::exists(old));
    EXPECT_EQ(snapshotsOnDisk(), QStringList{QFileInfo(old).fileName()}) << "nothing was copied after the stop";
    EXPECT_EQ(m_schedule.count(), 0);

    // The next run, with the real remover, removes it.
    auto next = makeController();
    next->backupSources = {m_source};
    next->backupDest = m_dest;
    next->snapshotsToKeep = 1;
    ASSERT_EQ(snapshotRun(*next, 21), Outcome::Completed);
    EXPECT_EQ(snapshotsOnDisk(), QStringList{snapshotName(21)});
}

} // namespace
