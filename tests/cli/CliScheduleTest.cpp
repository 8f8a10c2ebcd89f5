// vellumor-cli and the schedule: saving and listing jobs, a terminal
// Snapshot backup that records its snapshot for the next one, and run-due
// doing what a start by the agent does. Each test has its own support
// folder (XDG_DATA_HOME) so nothing reaches the user's schedule.
#include "Clock.h"
#include "CommandLine.h"
#include "ScheduleFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

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

    CliResult run(const QStringList &arguments)
    {
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"data"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        cli.setProcessEnvironment(environment);
        cli.start(kCli, arguments);
        EXPECT_TRUE(cli.waitForFinished(120000));
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                QString::fromUtf8(cli.readAllStandardError())};
    }

    ScheduleFile scheduleFile() const
    {
        return ScheduleFile(m_dir.filePath(u"data/org.vellumor.Vellumor/Scheduled Backups.xml"_s), Clock::system());
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
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

    // Make the recorded snapshot an older one (a second run in the same
    // minute would write into the same folder), and put a newer snapshot
    // beside it that the record does not name.
    const QString older = m_dest + u"/VLM Snapshot 01-12-2026 Tue 10-00 AM/"_s;
    ASSERT_TRUE(QDir().rename(recorded, older));
    records[0].insert(JobKey::linkDest, older);
    ASSERT_TRUE(scheduleFile().write(records));
    writeFile(m_dest + u"/VLM Snapshot 01-01-2030 Tue 10-00 AM/src/a.txt"_s, "a\n");

    CliResult second = run({u"backup"_s, u"--snapshot"_s, m_source, m_dest});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(inode(recorded + u"src/a.txt"_s), inode(older + u"src/a.txt"_s));
    EXPECT_EQ(JobRecords::linkDest(scheduleFile().arrayWithContentsOfFile().value(0)), recorded);
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
}

} // namespace
