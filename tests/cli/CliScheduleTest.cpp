// vellumor-cli and the schedule: saving and listing jobs, a terminal
// Snapshot backup that records its snapshot for the next one, and run-due
// doing what a start by the agent does. Each test has its own support
// folder (XDG_DATA_HOME) so nothing reaches the user's schedule.
#include "Clock.h"
#include "CommandLine.h"
#include "DestinationLock.h"
#include "EventLoopWait.h"
#include "RunHistory.h"
#include "ScheduleFile.h"
#include "SnapshotFolders.h"
#include "SnapshotThinning.h"

#include <QDir>
#include <QLocale>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <QScopeGuard>
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kCli = QStringLiteral(VELLUMOR_STAGE "/bin/vellumor-cli");

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

ino_t inode(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CliScheduleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(u"src"_s);
        m_dest = m_dir.filePath(u"dest"_s);
        writeFile(m_source + u"/a.txt"_s, "a\n");
        writeFile(m_source + u"/sub/b.txt"_s, "b\n");
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"data"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        if (!m_prefix.isEmpty())
            environment.insert(u"VELLUMOR_PREFIX"_s, m_prefix);
        return environment;
    }

    CliResult run(const QStringList &arguments)
    {
        QProcess cli;
        cli.setProcessEnvironment(environment());
        cli.start(kCli, arguments);
        EXPECT_TRUE(cli.waitForFinished(120000));
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                QString::fromUtf8(cli.readAllStandardError())};
    }

    // A bundle like the build's, whose rsync does the dry run for real and,
    // for the copy, writes a little into the last argument's folder,
    // records its pid in `marker` and waits, keeping the descriptors it was
    // given.
    void useStandInCopy(const QString &marker)
    {
        const QString stage = QStringLiteral(VELLUMOR_STAGE);
        m_prefix = m_dir.filePath(u"bundle"_s);
        const QString tools = m_prefix + u"/libexec/vellumor"_s;
        QDir().mkpath(tools);
        QDir().mkpath(m_prefix + u"/share"_s);
        QFile::link(stage + u"/share/vellumor"_s, m_prefix + u"/share/vellumor"_s);
        for (const QString &name : QDir(stage + u"/libexec/vellumor"_s).entryList(QDir::Files))
            if (name != u"rsync"_s)
                QFile::link(stage + u"/libexec/vellumor/"_s + name, tools + u'/' + name);
        const QByteArray pidFile = QFile::encodeName(marker);
        writeFile(tools + u"/rsync"_s,
                  "#!/bin/sh\ncase \" $* \" in *\" --dry-run \"*) exec '" + QFile::encodeName(stage)
                      + "/libexec/vellumor/rsync' \"$@\";; esac\n"
                        "for last; do :; done\nmkdir -p \"$last/src\" && echo partial > \"$last/src/a.txt\"\n"
                        "printf '\\t://: src/\\n'\n"
                        "echo $$ > '"
                      + pidFile + ".tmp'\nmv '" + pidFile + ".tmp' '" + pidFile + "'\nexec sleep 600\n");
        QFile::setPermissions(tools + u"/rsync"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Waits for the stand-in copy to record its pid; 0 when the terminal
    // ended first.
    pid_t waitForStandIn(QProcess &cli, const QString &marker)
    {
        processEventsUntil([&] { return QFileInfo::exists(marker) || cli.state() == QProcess::NotRunning; });
        QFile pidFile(marker);
        if (!pidFile.open(QIODevice::ReadOnly))
            return 0;
        return pid_t(pidFile.readAll().trimmed().toLongLong());
    }

    // Starts a Snapshot backup whose copy is the stand-in, and waits until
    // the stand-in runs: its pid, or 0 when the terminal ended first.
    pid_t startSnapshotUntilStandInCopies(QProcess &cli)
    {
        const QString marker = m_dir.filePath(u"copy.pid"_s);
        useStandInCopy(marker);
        cli.setProcessEnvironment(environment());
        cli.start(kCli, {u"backup"_s, u"--snapshot"_s, m_source, m_dest});
        EXPECT_TRUE(cli.waitForStarted());
        return waitForStandIn(cli, marker);
    }

    ScheduleFile scheduleFile() const
    {
        return ScheduleFile(m_dir.filePath(u"data/org.vellumor.Vellumor/Scheduled Backups.xml"_s), Clock::system());
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    QString m_prefix; // the bundle the terminal uses; the build's stage when empty
};

TEST_F(CliScheduleTest, ScheduleSavesAJobAndListShowsItAsTheListViewDoes)
{
    CliResult saved = run({u"schedule"_s, u"--snapshot"_s, u"--keep"_s, u"4"_s, u"--days"_s, u"mon,Wednesday,FRI"_s,
                           u"--at"_s, u"14:30"_s, m_source, m_dest});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.toStdString();
    const QList<JobRecord> records = scheduleFile().arrayWithContentsOfFile();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(JobRecords::sourcePath(records[0]), m_source);
    EXPECT_EQ(JobRecords::destPath(records[0]), m_dest);
    EXPECT_TRUE(JobRecords::hardlinks(records[0]));
    EXPECT_EQ(JobRecords::snapshotsToKeep(records[0]).toLongLong(), 4);
    const QStringList dates = JobRecords::scheduledDates(records[0]);
    ASSERT_EQ(dates.size(), 3);
    EXPECT_TRUE(dates[0].startsWith(u"Mon-"_s) && dates[0].endsWith(u" 14:30"_s)) << dates[0].toStdString();

    // Saved again as a Sync job on Sunday: the same row is replaced.
    ASSERT_EQ(run({u"schedule"_s, u"--days"_s, u"sun"_s, u"--at"_s, u"7:05"_s, m_source, m_dest}).exitCode, 0);
    const CliResult listed = run({u"list"_s});
    ASSERT_EQ(listed.exitCode, 0);
    const QStringList lines = listed.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << listed.out.toStdString();
    EXPECT_EQ(lines[0].simplified(), u"Source Destination Days Type Time"_s);
    EXPECT_EQ(lines[1].simplified(), u"src dest Sun Sync 07:05 AM"_s);
    // The count typed before is kept when --keep is not given again.
    EXPECT_EQ(JobRecords::snapshotsToKeep(scheduleFile().arrayWithContentsOfFile().value(0)).toLongLong(), 4);
}

TEST_F(CliScheduleTest, BadScheduleArgumentsAreRefusedWithTheirReason)
{
    const struct
    {
        QStringList arguments;
        QString reason;
    } cases[] = {
        {{u"schedule"_s, u"--days"_s, u"mon,funday"_s, u"--at"_s, u"10:00"_s, m_source, m_dest}, u"--days"_s},
        {{u"schedule"_s, u"--days"_s, u"mon"_s, u"--at"_s, u"25:00"_s, m_source, m_dest}, u"--at"_s},
        {{u"schedule"_s, u"--at"_s, u"10:00"_s, m_source, m_dest}, u"needs --days"_s},
        {{u"schedule"_s, u"--days"_s, u"mon"_s, m_source, m_dest}, u"needs --at"_s},
        {{u"schedule"_s, u"--days"_s, u"mon"_s, u"--at"_s, u"10:00"_s, m_source, m_source + u"/sub"_s, m_dest},
         u"exactly one SOURCE"_s},
        {{u"list"_s, u"extra"_s}, u"no arguments"_s},
        {{u"backup"_s, u"--thin"_s, m_source, m_dest}, u"--thin needs --snapshot"_s},
        {{u"backup"_s, u"--snapshot"_s, u"--thin"_s, u"24,31,8"_s, m_source, m_dest}, u"four counts"_s},
        {{u"backup"_s, u"--snapshot"_s, u"--thin"_s, u"--keep"_s, u"3"_s, m_source, m_dest}, u"give one"_s},
        {{u"prune"_s, u"--dry-run"_s, m_source}, u"exactly one SOURCE"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliJob job = parseCommandLine(c.arguments, m_dir.path());
        EXPECT_TRUE(job.error.contains(c.reason)) << job.error.toStdString();
    }
}

TEST_F(CliScheduleTest, ATerminalSnapshotRecordsItsFolderAndTheNextOneLinksAgainstTheRecord)
{
    CliResult first = run({u"backup"_s, u"--snapshot"_s, m_source, m_dest});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    QList<JobRecord> records = scheduleFile().arrayWithContentsOfFile();
    ASSERT_EQ(records.size(), 1);
    const QString recorded = JobRecords::linkDest(records[0]);
    EXPECT_TRUE(first.out.contains(recorded)) << first.out.toStdString();
    EXPECT_TRUE(JobRecords::scheduledDates(records[0]).isEmpty()); // saved, never due

    // Make the recorded snapshot an older one (so the second run writes a
    // new folder whatever the time), and put a newer snapshot beside it that
    // the record does not name.
    const QString older = m_dest + u"/VLM Snapshot 01-12-2026 Tue 10-00 AM/"_s;
    ASSERT_TRUE(QDir().rename(recorded, older));
    records[0].insert(JobKey::linkDest, older);
    ASSERT_TRUE(scheduleFile().write(records));
    const QString decoy = m_dest + u"/VLM Snapshot 01-01-2030 Tue 10-00 AM/"_s;
    writeFile(decoy + u"src/a.txt"_s, "a\n");

    CliResult second = run({u"backup"_s, u"--snapshot"_s, m_source, m_dest});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    // The second snapshot is whatever folder the record names now (its name
    // follows the clock); it linked against the recorded one, not the decoy.
    const QString written = JobRecords::linkDest(scheduleFile().arrayWithContentsOfFile().value(0));
    ASSERT_FALSE(written.isEmpty());
    EXPECT_NE(written, older);
    EXPECT_NE(written, decoy);
    EXPECT_TRUE(second.out.contains(written)) << second.out.toStdString();
    EXPECT_EQ(inode(written + u"src/a.txt"_s), inode(older + u"src/a.txt"_s));
    EXPECT_NE(inode(written + u"src/a.txt"_s), inode(decoy + u"src/a.txt"_s));
}

TEST_F(CliScheduleTest, RunDueRunsWhatIsDueWithItsDisksPresentAndExitsWhenDrained)
{
    const QString absent = u"/media/vellumor-test-no-such-disk/Backups"_s;
    QDir().mkpath(m_dest); // a destination counts as present when it exists
    JobRecord due{{u"sourcePath"_s, m_source},
                  {u"destPath"_s, m_dest},
                  {u"hardlinks"_s, false},
                  {u"snapshotsToKeep"_s, qlonglong(3)},
                  {u"excludedFiles"_s, QStringList()},
                  {u"scheduledDates"_s, QStringList{u"Mon-07-12-2020 10:00"_s}}};
    JobRecord unplugged = due;
    unplugged.insert(u"destPath"_s, absent);
    ASSERT_TRUE(scheduleFile().write({due, unplugged}));

    const CliResult result = run({u"run-due"_s});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_dest + u"/src/sub/b.txt"_s));
    const QList<JobRecord> records = scheduleFile().arrayWithContentsOfFile();
    ASSERT_EQ(records.size(), 2);
    const QStringList rolled = JobRecords::scheduledDates(records[0]);
    ASSERT_EQ(rolled.size(), 1);
    EXPECT_NE(rolled[0], u"Mon-07-12-2020 10:00"_s);
    EXPECT_TRUE(rolled[0].startsWith(u"Mon-"_s));
    EXPECT_EQ(JobRecords::scheduledDates(records[1]), QStringList{u"Mon-07-12-2020 10:00"_s}); // still due
    EXPECT_FALSE(QFileInfo::exists(absent));

    const CliResult again = run({u"run-due"_s});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains(u"Nothing to do."_s)) << again.out.toStdString();
    // The job it skipped is named, with the reason.
    EXPECT_TRUE(again.out.contains(u"Skipped "_s + m_source + u" to "_s + absent + u": destination absent"_s))
        << again.out.toStdString();
    // The history has the run and each skip, with why.
    const QString log = run({u"log"_s}).out;
    EXPECT_EQ(log.count(u"\tskipped\t"_s + m_source + u'\t' + absent), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(u"\tdestination absent\n"_s)) << log.toStdString();
    EXPECT_EQ(log.count(u"\tsucceeded\t"_s + m_source + u'\t' + m_dest), 1) << log.toStdString();
}

TEST_F(CliScheduleTest, SchedulingMakesTheDestinationFolderSoTheJobRuns)
{
    const QString newFolder = m_dir.filePath(u"backups/new"_s);
    CliResult saved = run({u"schedule"_s, u"--days"_s, u"mon"_s, u"--at"_s, u"10:00"_s, m_source, newFolder});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.toStdString();
    EXPECT_TRUE(QFileInfo(newFolder).isDir());

    // A destination that cannot be made refuses the job.
    writeFile(m_dir.filePath(u"a-file"_s), "x");
    CliResult refused
        = run({u"schedule"_s, u"--days"_s, u"mon"_s, u"--at"_s, u"10:00"_s, m_source, m_dir.filePath(u"a-file/sub"_s)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(u"not scheduled"_s)) << refused.err.toStdString();
    EXPECT_EQ(scheduleFile().arrayWithContentsOfFile().size(), 1);

    // The saved job is due in the past: run-due runs it into the new folder.
    QList<JobRecord> records = scheduleFile().arrayWithContentsOfFile();
    records[0].insert(u"scheduledDates"_s, QStringList{u"Mon-07-12-2020 10:00"_s});
    ASSERT_TRUE(scheduleFile().write(records));
    const CliResult due = run({u"run-due"_s});
    EXPECT_EQ(due.exitCode, 0) << due.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(newFolder + u"/src/a.txt"_s)) << due.out.toStdString();
}

// Without a record the terminal links against the newest complete snapshot
// of the same job: never a working folder left by an unfinished run, nor
// another job's snapshot.
TEST_F(CliScheduleTest, WithoutARecordTheNewestCompleteSnapshotOfTheJobIsLinkedAgainst)
{
    const QString own = m_dest + u"/VLM Snapshot 01-12-2026 Tue 10-00 AM/"_s;
    writeFile(own + u"src/a.txt"_s, "a\n");
    {
        // As an earlier run left it: same size, time and permissions.
        QFile copy(own + u"src/a.txt"_s);
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        copy.setFileTime(QFileInfo(m_source + u"/a.txt"_s).lastModified(), QFileDevice::FileModificationTime);
    }
    writeFile(m_dest + u"/.VLM Snapshot 02-12-2026 Wed 10-00 AM.incomplete/src/partial.txt"_s, "");
    writeFile(m_dest + u"/VLM Snapshot 03-12-2026 Thu 10-00 AM/other/a.txt"_s, "a\n");

    const CliResult result = run({u"backup"_s, u"--snapshot"_s, m_source, m_dest});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString recorded = JobRecords::linkDest(scheduleFile().arrayWithContentsOfFile().value(0));
    ASSERT_FALSE(recorded.isEmpty());
    EXPECT_EQ(inode(recorded + u"src/a.txt"_s), inode(own + u"src/a.txt"_s));
    // The unfinished folder was the job's: completed into the new snapshot.
    EXPECT_FALSE(QFileInfo::exists(m_dest + u"/.VLM Snapshot 02-12-2026 Wed 10-00 AM.incomplete"_s));
    EXPECT_FALSE(QFileInfo::exists(recorded + u"src/partial.txt"_s));
}

// A destination another run is writing into: refused with its name, exit 1.
TEST_F(CliScheduleTest, ALockedDestinationIsRefusedWithItsName)
{
    QDir().mkpath(m_dest);
    DestinationLock other;
    ASSERT_FALSE(other.acquire(m_dest));
    const CliResult result = run({u"backup"_s, u"--snapshot"_s, m_source, m_dest});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(DestinationLock::busyText(m_dest))) << result.err.toStdString();
    EXPECT_TRUE(QDir(m_dest).entryList({u"VLM Snapshot *"_s}, QDir::Dirs).isEmpty());
}

// Rotation that cannot remove an old snapshot: named on the terminal, exit 1.
TEST_F(CliScheduleTest, AnOldSnapshotThatCannotBeRemovedEndsWithStatusOne)
{
    const QString old = m_dest + u"/VLM Snapshot 01-12-2026 Tue 10-00 AM"_s;
    writeFile(old + u"/src/stuck/x.txt"_s, "x\n");
    writeFile(m_dest + u"/VLM Snapshot 02-12-2026 Wed 10-00 AM/src/a.txt"_s, "a\n");
    const QByteArray stuck = QFile::encodeName(old + u"/src/stuck"_s);
    const bool mounted = ::geteuid() == 0 && ::mount("vlmstuck", stuck.constData(), "tmpfs", 0, "size=64k") == 0;
    if (!mounted)
        ::chmod(stuck.constData(), 0500);
    const QByteArray moved = QFile::encodeName(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 10-00 AM.removing/src/stuck"_s);
    const auto cleanUp = qScopeGuard([&] {
        if (mounted)
            ::umount2(moved.constData(), MNT_DETACH);
        ::chmod(moved.constData(), 0700);
    });
    const CliResult result = run({u"backup"_s, u"--snapshot"_s, u"--keep"_s, u"1"_s, m_source, m_dest});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"Could not remove the old snapshot \"VLM Snapshot 01-12-2026 Tue 10-00 AM\": "_s))
        << result.err.toStdString();
}

// A front end killed with -9 takes its copy with it (the copy program gets
// the parent-death signal), and with it the destination's lock: the next
// run is not refused by a copy nobody watches.
TEST_F(CliScheduleTest, AKilledFrontEndTakesItsCopyAndItsLockWithIt)
{
    QProcess first;
    const pid_t orphan = startSnapshotUntilStandInCopies(first);
    ASSERT_GT(orphan, 0) << first.readAllStandardError().constData();
    const auto killOrphan = qScopeGuard([orphan] { ::kill(orphan, SIGKILL); });
    ::kill(pid_t(first.processId()), SIGKILL);
    first.waitForFinished();
    EXPECT_TRUE(processEventsUntil([orphan] { return ::kill(orphan, 0) != 0; })) << "the copy outlived its front end";

    DestinationLock lock;
    EXPECT_FALSE(lock.acquire(m_dest, std::chrono::seconds(10))) << "the lock went with the copy";
}

// SIGTERM to the terminal mid-copy is a stop: the copy ends, and what it
// wrote stays in the hidden working folder, never under a snapshot's name.
TEST_F(CliScheduleTest, SigtermMidCopyLeavesNoSnapshotName)
{
    QProcess cli;
    const pid_t copy = startSnapshotUntilStandInCopies(cli);
    ASSERT_GT(copy, 0) << cli.readAllStandardError().constData();
    const auto killCopy = qScopeGuard([copy] { ::kill(copy, SIGKILL); });
    ::kill(pid_t(cli.processId()), SIGTERM);
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 130) << cli.readAllStandardError().constData();
    EXPECT_TRUE(QDir(m_dest).entryList({u"VLM Snapshot *"_s}, QDir::Dirs).isEmpty());
    const QStringList working = QDir(m_dest).entryList({u".VLM Snapshot *.incomplete"_s}, QDir::Dirs | QDir::Hidden);
    ASSERT_EQ(working.size(), 1);
    EXPECT_TRUE(QFileInfo::exists(m_dest + u'/' + working.constFirst() + u"/src/a.txt"_s));
    EXPECT_TRUE(scheduleFile().arrayWithContentsOfFile().isEmpty()) << "a stopped run records nothing";
}

} // namespace

// A year of daily snapshots thinned from the terminal: the dry run and the
// prune print the rule's choice, only the "remove" ones go, what stays is
// untouched, and a second prune removes nothing.
TEST_F(CliScheduleTest, PruneThinsAYearOfDailiesAsTheRuleSays)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QList<DatedSnapshot> snapshots;
    const QDate last = QDate::currentDate().addDays(-35);
    for (int day = 364; day >= 0; --day) {
        const QDateTime date(last.addDays(-day), QTime(12, 0));
        const QString folder = m_dest + u'/' + SnapshotFolders::snapshotFolderName(date, english);
        writeFile(folder + u"/src/a.txt"_s, date.toString(Qt::ISODate).toUtf8());
        snapshots.append({folder, date});
    }
    const QStringList kept = SnapshotThinning::snapshotsToKeep(
        snapshots, ThinningPolicy(), QDateTime::currentDateTime(), QTimeZone::systemTimeZone(), {});
    QString expected;
    for (const DatedSnapshot &snapshot : std::as_const(snapshots))
        expected += (kept.contains(snapshot.folder) ? u"keep\t"_s : u"remove\t"_s) + snapshot.folder + u'\n';
    const ino_t keptInode = inode(kept.constFirst() + u"/src/a.txt"_s);

    const CliResult dryRun = run({u"prune"_s, u"--thin"_s, u"--dry-run"_s, m_source, m_dest});
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_EQ(dryRun.out.toStdString(), expected.toStdString());
    EXPECT_EQ(QDir(m_dest).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 365);

    const CliResult prune = run({u"prune"_s, u"--thin"_s, u"24,31,8,12"_s, m_source, m_dest});
    EXPECT_EQ(prune.exitCode, 0) << prune.err.toStdString();
    EXPECT_EQ(prune.out, dryRun.out);
    QStringList left;
    for (const QString &name : QDir(m_dest).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        left << m_dest + u'/' + name;
    QStringList keptByName = kept;
    keptByName.sort();
    EXPECT_EQ(left, keptByName);
    EXPECT_EQ(inode(kept.constFirst() + u"/src/a.txt"_s), keptInode);
    for (const DatedSnapshot &snapshot : std::as_const(snapshots)) {
        if (!kept.contains(snapshot.folder))
            continue;
        QFile file(snapshot.folder + u"/src/a.txt"_s);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), snapshot.date.toString(Qt::ISODate).toUtf8());
    }
    const CliResult again = run({u"prune"_s, u"--thin"_s, m_source, m_dest});
    EXPECT_FALSE(again.out.contains(u"remove"_s)) << again.out.toStdString();
}

namespace {

class CliStatusTest : public CliScheduleTest
{
protected:
    QString historyPath() const { return m_dir.filePath(u"data/org.vellumor.Vellumor/Run History.jsonl"_s); }
};

TEST_F(CliStatusTest, StatusAndLogTellHowEachJobStandsAndExitOneWhenOneNeedsAttention)
{
    // A real Sync, then a saved daily job of the same pair: one row, healthy.
    const CliResult backup = run({u"backup"_s, m_source, m_dest});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    ASSERT_EQ(
        run({u"schedule"_s, u"--days"_s, u"mon,tue,wed,thu,fri,sat,sun"_s, u"--at"_s, u"09:30"_s, m_source, m_dest})
            .exitCode,
        0);
    CliResult status = run({u"status"_s});
    EXPECT_EQ(status.exitCode, 0) << status.out.toStdString();
    QStringList lines = status.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << status.out.toStdString();
    EXPECT_TRUE(lines[1].contains(u" succeeded"_s)) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(u" 09:30"_s)) << lines[1].toStdString(); // the next run
    EXPECT_FALSE(lines[1].contains(u"absent"_s)) << lines[1].toStdString();
    const CliResult log = run({u"log"_s});
    EXPECT_EQ(log.exitCode, 0);
    EXPECT_TRUE(log.out.startsWith(QLocale::c().toString(QDate::currentDate(), u"yyyy-MM-dd"_s)));
    EXPECT_TRUE(log.out.contains(u"\tsync\tsucceeded\t"_s + m_source + u'\t' + m_dest + u'\t'))
        << log.out.toStdString();

    // Records as other runs and the agent leave them: an old good run of a
    // pair that is not saved, then a failed attempt of the saved job.
    RunRecord old;
    old.sourcePath = u"/home/u/Pictures"_s;
    old.destPath = u"/media/vellumor-test-no-such-disk/Backups"_s;
    old.ended = QDateTime::currentDateTime().addDays(-30);
    RunRecord failed;
    failed.sourcePath = m_source;
    failed.destPath = m_dest;
    failed.ended = QDateTime::currentDateTime();
    failed.outcome = RunRecord::Outcome::OutOfSpace;
    failed.cause = u"Backup Disk has 38 MB free; this backup needs about 1.5 GB."_s;
    const RunHistory history(historyPath());
    ASSERT_TRUE(history.append(old) && history.append(failed));
    status = run({u"status"_s});
    EXPECT_EQ(status.exitCode, 1);
    lines = status.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << status.out.toStdString();
    EXPECT_TRUE(lines[1].contains(u"outOfSpace: Backup Disk has 38 MB free"_s)) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(u"/home/u/Pictures"_s)) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(u"absent"_s)) << lines[2].toStdString();
    EXPECT_FALSE(lines[2].contains(u"overdue"_s)) << lines[2].toStdString(); // not scheduled

    const CliResult newest = run({u"log"_s, u"-n"_s, u"1"_s});
    ASSERT_EQ(newest.out.count(u'\n'), 1) << newest.out.toStdString();
    EXPECT_TRUE(newest.out.contains(u"\toutOfSpace\t"_s)) << newest.out.toStdString();
    EXPECT_EQ(run({u"log"_s, u"-n"_s, u"0"_s}).exitCode, 2);
}

} // namespace
