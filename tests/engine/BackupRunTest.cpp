// Whole runs through the controller: real rsync into temporary folders, and a
// scripted rsync for the ways a run can end badly.
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

class NoPrivileges : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &) override { return 0; }
};

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Itemised differences between two trees, content compared by checksum.
QString differences(const QString &source, const QString &dest)
{
    QProcess rsync;
    rsync.start(QStringLiteral("rsync"),
                {QStringLiteral("-anciH"), QStringLiteral("--delete"), source + u'/', dest + u'/'});
    rsync.waitForFinished(-1);
    return QString::fromUtf8(rsync.readAllStandardOutput() + rsync.readAllStandardError());
}

struct RunResult
{
    Outcome outcome = Outcome::Failed;
    QString detail;
    bool finished = false;
};

class BackupRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(QStringLiteral("Data"));
        m_dest = m_dir.filePath(QStringLiteral("Backup"));
        QDir().mkpath(m_dest);
    }

    std::unique_ptr<MFTaskAppDelegate> makeController(const QString &toolDirectory = QString())
    {
        MFTaskAppServices services;
        services.clock = &m_clock;
        services.privilegedRunner = &m_noPrivileges;
        services.toolDirectory = toolDirectory;
        if (m_volumeIsMounted)
            services.volumeIsMounted = m_volumeIsMounted;
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        QObject::connect(controller.get(), &MFTaskAppDelegate::runFinished, controller.get(),
                         [this](Outcome outcome, const QString &detail) {
                             m_result = {outcome, detail, true};
                         });
        return controller;
    }

    // Runs the event loop until the run reports its end; the guard only
    // turns a hang into a failure.
    RunResult waitForRun(std::function<bool()> extraCondition = {})
    {
        processEventsUntil([&] { return m_result.finished && (!extraCondition || extraCondition()); });
        EXPECT_TRUE(m_result.finished) << "the run never ended";
        // The texts the run queued for the window (its final status).
        QCoreApplication::sendPostedEvents();
        RunResult result = m_result;
        m_result = {};
        return result;
    }

    RunResult runBackup(MFTaskAppDelegate &controller)
    {
        controller.startBackup();
        return waitForRun();
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    RecordingView m_view;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC)};
    NoPrivileges m_noPrivileges;
    std::function<bool(const QString &)> m_volumeIsMounted;
    RunResult m_result;
};

void makeAwkwardTree(const QString &root)
{
    writeFile(root + QStringLiteral("/plain.txt"), "plain\n");
    writeFile(root + QStringLiteral("/with space/file name.txt"), "spaces\n");
    writeFile(root + QStringLiteral("/Ünïcødé/日本語 ☃.txt"), "unicode\n");
    writeFile(root + QStringLiteral("/-leading dash"), "dash\n");
    writeFile(root + QStringLiteral("/new\nline.txt"), "newline\n");
    writeFile(root + QStringLiteral("/deep/a/b/c/d.bin"), QByteArray(100000, 'x'));
    QDir().mkpath(root + QStringLiteral("/empty folder"));
    QFile::link(QStringLiteral("plain.txt"), root + QStringLiteral("/link to plain"));
    QFile::link(QStringLiteral("/nowhere/at/all"), root + QStringLiteral("/dangling"));
    ::link(QFile::encodeName(root + QStringLiteral("/plain.txt")).constData(),
           QFile::encodeName(root + QStringLiteral("/deep/hard link.txt")).constData());
}

TEST_F(BackupRunTest, SyncCopiesAnAwkwardTreeExactlyAndFollowsEditsAndDeletions)
{
    makeAwkwardTree(m_source);
    auto controller = makeController();
    controller->backupSources = {m_source + u'/'}; // one trailing "/" is dropped
    controller->backupDest = m_dest;

    RunResult first = runBackup(*controller);
    EXPECT_EQ(first.outcome, Outcome::Completed) << first.detail.toStdString();
    const QString copy = m_dest + QStringLiteral("/Data");
    EXPECT_EQ(differences(m_source, copy), QString());
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_EQ(controller->backupDest, m_dest + u'/');
    EXPECT_EQ(controller->backupSources, QStringList{m_source});
    ASSERT_FALSE(m_view.rows.isEmpty());
    EXPECT_EQ(m_view.rows.last().value(), m_dest + u'/');
    EXPECT_EQ(m_view.notifications.first().message, QStringLiteral("Backup Starting"));
    EXPECT_EQ(m_view.notifications.last().message, QStringLiteral("Operation Complete"));
    struct stat a, b;
    ASSERT_EQ(::lstat(QFile::encodeName(copy + QStringLiteral("/plain.txt")).constData(), &a), 0);
    ASSERT_EQ(::lstat(QFile::encodeName(copy + QStringLiteral("/deep/hard link.txt")).constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino) << "hard links stay hard links";

    writeFile(m_source + QStringLiteral("/plain.txt"), "edited\n");
    QFile::remove(m_source + QStringLiteral("/-leading dash"));
    QDir(m_source + QStringLiteral("/deep/a")).removeRecursively();
    writeFile(m_source + QStringLiteral("/added.txt"), "added\n");
    RunResult second = runBackup(*controller);
    EXPECT_EQ(second.outcome, Outcome::Completed) << second.detail.toStdString();
    EXPECT_EQ(differences(m_source, copy), QString());
    EXPECT_FALSE(QFileInfo::exists(copy + QStringLiteral("/deep/a")));
}

TEST_F(BackupRunTest, SnapshotWritesADatedFolderAndRecordsItAsLinkDestination)
{
    makeAwkwardTree(m_source);
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    m_view.modeRow = 1;
    JobRecord job;
    job.insert(JobKey::sourcePath, m_source);
    controller->startBackup(&job);
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(job.value(JobKey::linkDest).toString(),
              m_dest + QStringLiteral("/VLM Snapshot 06-12-2026 Sun 21-00 PM/"));
    const QString folder = m_dest + QStringLiteral("/VLM Snapshot 06-12-2026 Sun 21-00 PM/");
    EXPECT_EQ(controller->linkDest, folder);
    EXPECT_EQ(m_view.linkDestText, QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    EXPECT_EQ(differences(m_source, folder + QStringLiteral("Data")), QString());
}

TEST_F(BackupRunTest, RestoreKeepsNewerFilesAndDeletesNothing)
{
    writeFile(m_source + QStringLiteral("/older-in-backup.txt"), "from backup\n");
    writeFile(m_source + QStringLiteral("/only-in-backup.txt"), "restored\n");
    const QString target = m_dir.filePath(QStringLiteral("Home"));
    writeFile(target + QStringLiteral("/Data/older-in-backup.txt"), "newer at home\n");
    writeFile(target + QStringLiteral("/Data/extra.txt"), "mine\n");
    // The backup's copy is a day older than the one at home.
    QFile backupCopy(m_source + QStringLiteral("/older-in-backup.txt"));
    ASSERT_TRUE(backupCopy.open(QIODevice::ReadWrite));
    backupCopy.setFileTime(QDateTime::currentDateTimeUtc().addDays(-1), QFileDevice::FileModificationTime);
    backupCopy.close();

    auto controller = makeController();
    m_view.modeRow = 1; // restore copies in update mode whatever the mode row shows
    m_view.chooserAnswers = {m_source, target};
    controller->restoreBackup();
    EXPECT_FALSE(controller->isRestore);
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/older-in-backup.txt")), "newer at home\n");
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/only-in-backup.txt")), "restored\n");
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/extra.txt")), "mine\n");
    QStringList arguments;
    for (const Argument &row : m_view.rows)
        arguments << row.value();
    EXPECT_TRUE(arguments.contains(QStringLiteral("--update")));
    EXPECT_FALSE(arguments.contains(QStringLiteral("--delete")));
}

TEST_F(BackupRunTest, CancellingTheRestoreChooserStartsNothing)
{
    auto controller = makeController();
    m_view.chooserAnswers = {};
    controller->restoreBackup();
    EXPECT_FALSE(controller->isRestore);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_TRUE(m_view.notifications.isEmpty());
}

TEST_F(BackupRunTest, AMissingRemovableDestinationAlertsAndWritesNothing)
{
    makeAwkwardTree(m_source);
    const QString missing = m_dir.filePath(QStringLiteral("media/USB Disk/Backups"));
    m_volumeIsMounted = [missing](const QString &path) { return path != missing; };
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = missing;
    RunResult result = runBackup(*controller);
    EXPECT_EQ(result.outcome, Outcome::VolumeMissing);
    ASSERT_EQ(m_view.alerts.size(), 1);
    EXPECT_EQ(m_view.alerts[0].message, QStringLiteral("Can't start backup"));
    EXPECT_EQ(m_view.alerts[0].informativeText,
              QStringLiteral("The backup cannot start because %1 is not available. If it is on an external disk, "
                             "you can connect the disk and try again.")
                  .arg(missing));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("media"))));
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
}

TEST_F(BackupRunTest, AFullDestinationEndsAsOutOfSpaceNotAHang)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString small = m_dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "cannot mount tmpfs here";
    QByteArray noise(1 << 20, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) ^ (i >> 3));
    for (int i = 0; i < 4; ++i)
        writeFile(m_source + QStringLiteral("/big-%1.bin").arg(i), noise);
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = small;
    RunResult result = runBackup(*controller);
    ::umount2(QFile::encodeName(small).constData(), MNT_DETACH);
    EXPECT_EQ(result.outcome, Outcome::OutOfSpace) << result.detail.toStdString();
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    bool alerted = false;
    for (const auto &alert : m_view.alerts)
        alerted = alerted || alert.message == QStringLiteral("Out of drive space");
    EXPECT_TRUE(alerted);
}

// A tool folder whose "rsync" replays a script chosen per test.
class ScriptedRsync
{
public:
    explicit ScriptedRsync(const QByteArray &realRunBody)
    {
        const QString path = m_dir.filePath(QStringLiteral("rsync"));
        writeFile(path,
                  "#!/bin/sh\n"
                  "echo $$ >> \"$(dirname \"$0\")/pids\"\n"
                  "if [ \"$1\" = --dry-run ]; then\n"
                  "  printf '\\t://: Data/\\n\\t://: Data/a\\n\\nTotal transferred file size: 1,000 bytes\\n'\n"
                  "  exit 0\nfi\n"
                      + realRunBody);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const char *tool : {"diskutil", "mount", "bless", "dropcount"}) {
            const QString toolPath = m_dir.filePath(QLatin1String(tool));
            writeFile(toolPath, "#!/bin/sh\nexit 0\n");
            QFile::setPermissions(toolPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    QString directory() const { return m_dir.path(); }
    QList<pid_t> pids() const
    {
        QList<pid_t> result;
        for (const QByteArray &line : readFile(m_dir.filePath(QStringLiteral("pids"))).split('\n'))
            if (!line.isEmpty()) {
                result << pid_t(line.toInt());
            }
        return result;
    }

private:
    QTemporaryDir m_dir;
};

bool isGone(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z"; // a zombie has ended
}

TEST_F(BackupRunTest, EndingsWithoutACleanSummary)
{
    const struct
    {
        const char *name;
        QByteArray script;
        Outcome outcome;
        QString detailContains;
    } cases[] = {
        {"fatal error, no summary",
         "printf '\\t://: Data/\\n' ; printf 'rsync: [Receiver] mkdir \"/x\" failed: Permission denied (13)\\n"
         "rsync error: error in file IO (code 11) at main.c(791) [Receiver=3.5.0]\\n' >&2; exit 11\n",
         // The line that names the cause, not rsync's generic closing line.
         Outcome::Failed, QStringLiteral("Backup failed: rsync: [Receiver] mkdir \"/x\" failed: Permission denied")},
        {"killed from outside, silent", "kill -9 $$\n", Outcome::Failed, QStringLiteral("ended by signal 9")},
        {"errors glued onto progress, then a summary",
         "printf '\\t://: Data/a\\n      32,768  50%%   1.00MB/s    0:00:00  rsync: [sender] read errors mapping "
         "\"/s/a\": "
         "Input/output error (5)\\nrsync: [sender] open \"/s/b\" failed: Permission denied (13)\\n"
         "\\nNumber of files: 2 (reg: 1, dir: 1)\\nNumber of created files: 1\\n'; exit 23\n",
         Outcome::CompletedWithErrors, QStringLiteral("2 errors")},
        {"inodes exhausted, then a summary",
         "printf '\\t://: Data/a\\nrsync: [receiver] mkstemp \"/d/.a.XYZ\" failed: No space left on device (28)\\n"
         "\\nNumber of files: 2 (reg: 1, dir: 1)\\n'; exit 23\n",
         Outcome::OutOfSpace, QStringLiteral("Out of drive space")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRsync rsync(c.script);
        writeFile(m_source + QStringLiteral("/a"), "a\n");
        m_view.reset();
        auto controller = makeController(rsync.directory());
        controller->backupSources = {m_source};
        controller->backupDest = m_dest;
        RunResult result = runBackup(*controller);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_TRUE(result.detail.contains(c.detailContains)) << result.detail.toStdString();
        EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        if (c.outcome == Outcome::Failed) {
            EXPECT_EQ(m_view.statusTexts.last(), result.detail);
        }
    }
}

TEST_F(BackupRunTest, StoppingMidRunLeavesNoCopyProcessBehind)
{
    // The copy program forks a helper, like rsync's receiver, then hangs.
    ScriptedRsync rsync("sleep 600 &\necho $! >> \"$(dirname \"$0\")/pids\"\n"
                        "printf '\\t://: Data/\\n'\nwait\n");
    writeFile(m_source + QStringLiteral("/a"), "a\n");
    auto controller = makeController(rsync.directory());
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->startBackup();
    // Wait until the real run and its helper are up (dry run + run + helper).
    processEventsUntil([&] {
        return rsync.pids().size() >= 3 && controller->currentTask() && controller->currentTask()->isRunning();
    });
    ASSERT_EQ(rsync.pids().size(), 3);

    controller->startButtonClicked(); // reads "Stop": the stop path
    RunResult result = waitForRun([&] {
        const QList<pid_t> pids = rsync.pids();
        return std::all_of(pids.begin(), pids.end(), isGone);
    });
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    for (pid_t pid : rsync.pids())
        EXPECT_TRUE(isGone(pid)) << pid;
}

TEST_F(BackupRunTest, StoppingDuringTheDryRunLaunchesNothing)
{
    // The dry run lists one item, then goes quiet while it "scans".
    ScriptedRsync rsync("echo launched >> \"$(dirname \"$0\")/launched\"\nexit 0\n");
    const QString script = rsync.directory() + QStringLiteral("/rsync");
    QByteArray text = readFile(script);
    text.replace("  exit 0\nfi\n", "  sleep 600 & echo $! >> \"$(dirname \"$0\")/pids\"; wait; exit 0\nfi\n");
    writeFile(script, text);
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(m_source + QStringLiteral("/a"), "a\n");
    auto controller = makeController(rsync.directory());
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->startBackup();
    processEventsUntil([&] { return rsync.pids().size() >= 2; });
    ASSERT_EQ(rsync.pids().size(), 2);
    controller->startButtonClicked();
    RunResult result = waitForRun([&] {
        const QList<pid_t> pids = rsync.pids();
        return std::all_of(pids.begin(), pids.end(), isGone);
    });
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    controller.reset(); // waits for the worker to finish
    EXPECT_FALSE(QFileInfo::exists(rsync.directory() + QStringLiteral("/launched")));
    for (pid_t pid : rsync.pids())
        EXPECT_TRUE(isGone(pid)) << pid;
}

TEST_F(BackupRunTest, QuitDecision)
{
    auto controller = makeController();
    EXPECT_TRUE(controller->applicationShouldTerminate()) << "idle: never asks";
    m_view.title = QStringLiteral("Stop");
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
    m_view.title = QStringLiteral("Backup");
}

} // namespace

// --- Honest outcomes -------------------------------------------------------------

TEST_F(BackupRunTest, TheOutcomeFollowsRsyncsExitStatusOnceItHasEnded)
{
    const QString deepFixture = QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/26-sync-path-too-long.out");
    const struct
    {
        const char *name;
        QByteArray script;
        Outcome outcome;
        QString status; // the run's last status text
        QString title;  // the desktop notification's title
    } cases[] = {
        {"clean", "printf '\\t://: Data/a\\n\\nNumber of files: 2\\n'; exit 0\n", Outcome::Completed,
         QStringLiteral("Backup Complete."), QStringLiteral("Operation Complete")},
        // rsync's own output: the error line has no "rsync:" prefix and the
        // code-23 line comes after the summary.
        {"path too long, exit 23 after the summary", "cat '" + QFile::encodeName(deepFixture) + "'; exit 23\n",
         Outcome::CompletedWithErrors,
         QStringLiteral("Finished with 1 error: filename overflows max-path len by 23: Deep/level00-"),
         QStringLiteral("Backup Finished with Errors")},
        {"vanished source files",
         "printf '\\t://: Data/a\\nfile has vanished: \"/s/b\"\\n\\nNumber of files: 2\\n'"
         "; exit 24\n",
         Outcome::CompletedWithNote, QStringLiteral("Backup Complete. Some source files vanished"),
         QStringLiteral("Operation Complete")},
        {"only the closing line after the summary",
         "printf '\\t://: Data/a\\n\\nNumber of files: 2\\nrsync error: some files/attrs were not transferred "
         "(see previous errors) (code 23) at main.c(1394)\\n'; exit 23\n",
         Outcome::CompletedWithErrors, QStringLiteral("Finished with errors: rsync error: some files/attrs"),
         QStringLiteral("Backup Finished with Errors")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRsync rsync(c.script);
        writeFile(m_source + QStringLiteral("/a"), "a\n");
        m_view.reset();
        auto controller = makeController(rsync.directory());
        controller->backupSources = {m_source};
        controller->backupDest = m_dest;
        RunResult result = runBackup(*controller);
        EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
        ASSERT_FALSE(m_view.statusTexts.isEmpty());
        EXPECT_TRUE(m_view.statusTexts.last().startsWith(c.status)) << m_view.statusTexts.last().toStdString();
        EXPECT_FALSE(m_view.statusTexts.last().contains(u'%')) << "no placeholder left";
        ASSERT_FALSE(m_view.notifications.isEmpty());
        EXPECT_EQ(m_view.notifications.last().message, c.title);
        if (c.outcome != Outcome::Completed && c.outcome != Outcome::CompletedWithNote) {
            EXPECT_FALSE(m_view.statusTexts.contains(QStringLiteral("Backup Complete.")));
        }
    }
}

TEST_F(BackupRunTest, TheStopActionEndsTheRunAsStopped)
{
    ScriptedRsync rsync("printf '\\t://: Data/\\n'\nexec sleep 600\n");
    writeFile(m_source + QStringLiteral("/a"), "a\n");
    auto controller = makeController(rsync.directory());
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->startBackup();
    processEventsUntil([&] { return controller->currentTask() && controller->currentTask()->isRunning(); });
    controller->stop();
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    for (const auto &notification : std::as_const(m_view.notifications))
        EXPECT_NE(notification.message, QStringLiteral("Backup Failed"));
    // The stopped task's end arrives later and completes nothing.
    processEventsUntil([&] { return !controller->currentTask() || !controller->currentTask()->isRunning(); });
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(m_result.finished);
}

TEST_F(BackupRunTest, SourcesAreCheckedBeforeAnythingIsWritten)
{
    const QString other = m_source + QStringLiteral("/../elsewhere");
    writeFile(other + QStringLiteral("/docs/from-elsewhere.txt"), "e\n");
    writeFile(m_source + QStringLiteral("/docs/a.txt"), "a\n");
    writeFile(m_source + QStringLiteral("/dev/kept.txt"), "d\n");
    writeFile(m_source + QStringLiteral("/tmp/kept.txt"), "t\n");
    QDir().mkpath(m_source + QStringLiteral("/empty"));
    writeFile(m_dest + QStringLiteral("/empty/mirrored.txt"), "m\n");
    ASSERT_TRUE(QFile::link(m_source + QStringLiteral("/docs"), m_source + QStringLiteral("/docs-link")));

    const struct
    {
        const char *name;
        QStringList sources;
        Outcome outcome;
        QStringList copied; // relative to the destination
        QString alertContains;
    } cases[] = {
        {"a link to a folder backs up the folder",
         {m_source + QStringLiteral("/docs-link")},
         Outcome::Completed,
         {QStringLiteral("docs/a.txt")},
         {}},
        {"folders named dev and tmp are copied whole",
         {m_source + QStringLiteral("/dev"), m_source + QStringLiteral("/tmp")},
         Outcome::Completed,
         {QStringLiteral("dev/kept.txt"), QStringLiteral("tmp/kept.txt")},
         {}},
        {"an empty source does not empty its mirror",
         {m_source + QStringLiteral("/empty")},
         Outcome::Refused,
         {QStringLiteral("empty/mirrored.txt")},
         QStringLiteral("is empty")},
        {"two sources named docs are not merged",
         {m_source + QStringLiteral("/docs"), QDir::cleanPath(other + QStringLiteral("/docs"))},
         Outcome::Refused,
         {},
         QStringLiteral("named docs")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_view.reset();
        auto controller = makeController();
        controller->backupSources = c.sources;
        controller->backupDest = m_dest;
        RunResult result = runBackup(*controller);
        EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
        for (const QString &copied : c.copied)
            EXPECT_TRUE(QFileInfo::exists(m_dest + u'/' + copied)) << copied.toStdString();
        if (c.alertContains.isEmpty()) {
            EXPECT_TRUE(m_view.alerts.isEmpty());
        } else {
            ASSERT_EQ(m_view.alerts.size(), 1);
            EXPECT_EQ(m_view.alerts.first().message, QStringLiteral("Can't start backup"));
            EXPECT_TRUE(m_view.alerts.first().informativeText.contains(c.alertContains));
            EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        }
    }
    EXPECT_FALSE(QFileInfo::exists(m_dest + QStringLiteral("/docs/from-elsewhere.txt")));
    EXPECT_FALSE(QFileInfo(m_dest + QStringLiteral("/docs")).isSymLink());
}

TEST_F(BackupRunTest, RestoreCopiesOnlyTheChosenBackup)
{
    writeFile(m_source + QStringLiteral("/a.txt"), "a\n");
    const QString second = m_source + QStringLiteral("/../second");
    writeFile(second + QStringLiteral("/b.txt"), "b\n");
    const QString target = m_source + QStringLiteral("/../target");
    QDir().mkpath(target);
    auto controller = makeController();
    controller->backupSources = {QDir::cleanPath(second), m_dest};
    m_view.chooserAnswers = {m_source, target};
    controller->restoreBackup();
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Data/a.txt")));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/second")));
    EXPECT_EQ(controller->backupSources, QStringList{m_source});
}

TEST_F(BackupRunTest, EveryRunOfASeriesShowsItsStatus)
{
    // The copy reports one item, then waits for the test to have seen the
    // status line before it finishes.
    ScriptedRsync rsync("printf '\\t://: Data/a\\n'\n"
                        "while [ ! -e \"$(dirname \"$0\")/go\" ]; do sleep 0.01; done\n"
                        "rm \"$(dirname \"$0\")/go\"\nprintf '\\nNumber of files: 1\\n'\n");
    writeFile(m_source + QStringLiteral("/a.txt"), "a\n");
    auto controller = makeController(rsync.directory());
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        m_view.statusTexts.clear();
        // Started as dispatch starts a queued job: no start button, no reset.
        controller->startBackup();
        const bool shown = processEventsUntil(
            [&] {
                return std::any_of(m_view.statusTexts.cbegin(), m_view.statusTexts.cend(),
                                   [](const QString &text) { return text.startsWith(u"Copied 1 of about"); });
            },
            20000);
        writeFile(rsync.directory() + QStringLiteral("/go"), "");
        EXPECT_TRUE(shown) << m_view.statusTexts.join(u'|').toStdString();
        RunResult result = waitForRun();
        EXPECT_EQ(result.outcome, Outcome::Completed);
        EXPECT_EQ(m_view.statusTexts.last(), QStringLiteral("Backup Complete."));
    }
}

TEST_F(BackupRunTest, AStopAndANewBackupWhileTheWorkerPreparesTheLaunchAreSafe)
{
    ScriptedRsync rsync("printf '\\t://: Data/a\\n\\nNumber of files: 1\\n'\n");
    // The first ownership check holds the first run's worker between its
    // checks and its launch until the test says "go".
    const QString tools = rsync.directory();
    writeFile(tools + QStringLiteral("/diskutil"),
              "#!/bin/sh\nd=\"$(dirname \"$0\")\"\n"
              "if [ -e \"$d/hold\" ]; then rm \"$d/hold\"; touch \"$d/reached\";\n"
              "  while [ ! -e \"$d/go\" ]; do sleep 0.01; done; fi\nexit 0\n");
    QFile::setPermissions(tools + QStringLiteral("/diskutil"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(tools + QStringLiteral("/hold"), "");
    writeFile(m_source + QStringLiteral("/a"), "a\n");
    auto controller = makeController(tools);
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;

    controller->startBackup();
    ASSERT_TRUE(processEventsUntil([&] { return QFileInfo::exists(tools + QStringLiteral("/reached")); }, 20000));
    controller->startButtonClicked(); // Stop
    EXPECT_EQ(waitForRun().outcome, Outcome::Stopped);
    controller->startButtonClicked(); // Backup again, while the first worker still waits
    writeFile(tools + QStringLiteral("/go"), "");
    RunResult second = waitForRun();
    EXPECT_EQ(second.outcome, Outcome::Completed) << second.detail.toStdString();
    // The first run's worker launched nothing: one dry run and one copy.
    EXPECT_EQ(rsync.pids().size(), 2);
}
