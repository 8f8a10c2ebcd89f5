// The schedule file: written, read back and rewritten identically; accepted
// by Python's plistlib; damaged files read as far as they go and are never
// overwritten without a copy kept.
#include "Clock.h"
#include "JobRecord.h"
#include "ScheduleFile.h"
#include "SharedSchedule.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QList<JobRecord> sampleRecords()
{
    BackupParameters snapshot;
    snapshot.sourcePath = u"/home/ada/Documents"_s;
    snapshot.destPath = u"/media/ada/Backup"_s;
    snapshot.hardlinks = true;
    snapshot.snapshotsToKeep = qlonglong(10);
    snapshot.linkDest = u"/media/ada/Backup/VLM Snapshot 06-12-2026 Sun 02-30 PM"_s;
    snapshot.scheduledDates = {u"Mon-07-12-2026 14:30"_s, u"Fri-11-12-2026 14:30"_s};
    snapshot.excludedFiles = {u"/home/ada/Documents/cache"_s, u"/home/ada/Documents/Ümlaut & <tags>"_s};

    BackupParameters sync;
    sync.sourcePath = u"/home/ada/Pictures/"_s;
    sync.destPath = u"/run/media/ada/Photos"_s;
    sync.snapshotsToKeep = 2.5;

    return {snapshot.getParametersDictionary(), sync.getParametersDictionary()};
}

class ScheduleFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString path() const { return tmp.filePath(u"Scheduled Backups.xml"_s); }
    QStringList keptCopies() const
    {
        return QDir(tmp.path())
            .entryList({u"Scheduled Backups.xml.unreadable-*"_s}, QDir::Files | QDir::System, QDir::Name);
    }

    QTemporaryDir tmp;
    FixedClock clock{QDateTime(QDate(2026, 12, 7), QTime(10, 30), QTimeZone("UTC"))};
    ScheduleFile file{path(), clock};
};

TEST_F(ScheduleFileTest, WrittenReadBackAndRewrittenIdentically)
{
    const QList<JobRecord> records = sampleRecords();
    ASSERT_TRUE(file.write(records));
    const ScheduleReadResult read = file.read();
    EXPECT_EQ(read.state, ScheduleReadResult::State::Read);
    EXPECT_EQ(read.records, records);

    const QByteArray first = readAll(path());
    ASSERT_TRUE(file.write(read.records));
    EXPECT_EQ(readAll(path()), first);
    EXPECT_TRUE(keptCopies().isEmpty());
    EXPECT_TRUE(first.startsWith("<?xml")) << "an XML property list, not binary";
}

TEST_F(ScheduleFileTest, PythonPlistlibReadsTheSameValues)
{
    const QList<JobRecord> records = sampleRecords();
    ASSERT_TRUE(file.write(records));
    QProcess python;
    python.start(
        u"python3"_s,
        {u"-c"_s, u"import json, plistlib, sys; print(json.dumps(plistlib.load(open(sys.argv[1], 'rb'))))"_s, path()});
    ASSERT_TRUE(python.waitForFinished(60000)) << "python3 is needed for this cross-check";
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonDocument fromPython = QJsonDocument::fromJson(python.readAllStandardOutput());
    QVariantList ours;
    for (const JobRecord &record : records)
        ours.append(record);
    EXPECT_EQ(fromPython, QJsonDocument::fromVariant(ours));
}

TEST_F(ScheduleFileTest, MissingEmptyAndDamagedFilesAreAnEmptySchedule)
{
    const QByteArray valid = [&] {
        file.write(sampleRecords());
        return readAll(path());
    }();
    const struct
    {
        const char *name;
        QByteArray content;
        ScheduleReadResult::State state;
    } table[] = {
        {"empty file", QByteArray(), ScheduleReadResult::State::Empty},
        {"truncated", valid.left(valid.size() / 2), ScheduleReadResult::State::Unreadable},
        {"not XML", "this is not a property list\n", ScheduleReadResult::State::Unreadable},
        {"binary noise", QByteArray("\x00\x01\xff\xfe bplist", 12), ScheduleReadResult::State::Unreadable},
        {"root is a dict",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>b</string></dict></plist>",
         ScheduleReadResult::State::Unreadable},
        {"empty array", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>",
         ScheduleReadResult::State::Read},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        writeAll(path(), row.content);
        const ScheduleReadResult read = file.read();
        EXPECT_EQ(read.state, row.state);
        EXPECT_TRUE(read.records.isEmpty());
    }
    QFile::remove(path());
    EXPECT_EQ(file.read().state, ScheduleReadResult::State::Missing);
}

TEST_F(ScheduleFileTest, WrongTypesAreReadAsFarAsTheyGo)
{
    writeAll(path(), R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
  <dict>
    <key>sourcePath</key><string>/src</string>
    <key>destPath</key><string>/dst</string>
    <key>scheduledDates</key><string>Mon-07-12-2026 14:30</string>
    <key>excludedFiles</key><array><string>/src/a</string><integer>3</integer></array>
    <key>hardlinks</key><string>yes</string>
    <key>futureKey</key><real>1.5</real>
    <key>savedAt</key><date>2026-12-07T10:30:00Z</date>
    <key>blob</key><data>AAEC</data>
  </dict>
  <string>not a record</string>
  <dict>
    <key>sourcePath</key><integer>7</integer>
    <key>snapshotsToKeep</key><integer>-3</integer>
    <key>scheduledDates</key><array/>
  </dict>
</array></plist>)");
    const ScheduleReadResult read = file.read();
    EXPECT_EQ(read.state, ScheduleReadResult::State::Read);
    EXPECT_EQ(read.skippedEntries, 1);
    ASSERT_EQ(read.records.size(), 2);

    const JobRecord &first = read.records[0];
    EXPECT_EQ(JobRecords::sourcePath(first), u"/src"_s);
    EXPECT_EQ(JobRecords::snapshotsToKeep(first), qlonglong(99)) << "missing count reads as 99";
    EXPECT_TRUE(JobRecords::scheduledDates(first).isEmpty()) << "a non-array reads as no dates";
    EXPECT_EQ(JobRecords::excludedFiles(first), QStringList{u"/src/a"_s});
    EXPECT_FALSE(JobRecords::hardlinks(first));
    EXPECT_TRUE(JobRecords::linkDest(first).isEmpty());

    const JobRecord &second = read.records[1];
    EXPECT_TRUE(JobRecords::sourcePath(second).isEmpty());
    EXPECT_EQ(JobRecords::snapshotsToKeep(second), qlonglong(-3));
    EXPECT_EQ(second.value(u"scheduledDates"_s), QStringList{});
    EXPECT_FALSE(JobRecords::matchesPair(second, u"7"_s, u"/dst"_s));

    // Keys this version does not know survive a rewrite with their types.
    EXPECT_EQ(first.value(u"savedAt"_s), QDateTime(QDate(2026, 12, 7), QTime(10, 30), Qt::UTC));
    EXPECT_EQ(first.value(u"blob"_s), QByteArray("\x00\x01\x02", 3));
    ASSERT_TRUE(file.write(read.records));
    EXPECT_EQ(file.read().records, read.records);
}

TEST_F(ScheduleFileTest, AJobWithoutACountIsStillWritable)
{
    BackupParameters job;
    job.sourcePath = u"/src"_s;
    job.destPath = u"/dst"_s;
    const JobRecord record = job.getParametersDictionary();
    EXPECT_EQ(record.value(u"snapshotsToKeep"_s), qlonglong(99));
    EXPECT_TRUE(file.write({record}));
}

TEST_F(ScheduleFileTest, AnUnreadableFileIsKeptBesideTheNewOne)
{
    const struct
    {
        const char *name;
        QByteArray content;
        bool kept;
    } table[] = {
        {"corrupt", "<?xml version=\"1.0\"?><plist><array><dict><key>sourcePath", true},
        {"entries that are not records", "<?xml version=\"1.0\"?><plist><array><string>x</string></array></plist>",
         true},
        {"empty file", QByteArray(), false},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        QDir(tmp.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(tmp.path()));
        writeAll(path(), row.content);
        ASSERT_TRUE(file.write(sampleRecords()));
        EXPECT_EQ(file.read().records, sampleRecords());
        const QStringList kept = keptCopies();
        if (!row.kept) {
            EXPECT_TRUE(kept.isEmpty());
            continue;
        }
        ASSERT_EQ(kept, QStringList{u"Scheduled Backups.xml.unreadable-2026-12-07-1030"_s});
        EXPECT_EQ(readAll(tmp.filePath(kept[0])), row.content);
        // The next save finds a good file: no second copy.
        ASSERT_TRUE(file.write({}));
        EXPECT_EQ(keptCopies().size(), 1);
    }
}

// Before reading, each of these blocked or exhausted memory; now each is an
// unreadable file that the next save moves or keeps aside whole.
TEST_F(ScheduleFileTest, APipeADeviceLinkOrAHugeFileIsSetAsideUnread)
{
    const QByteArray name = QFile::encodeName(path());
    const struct
    {
        const char *name;
        std::function<bool()> make;
        mode_t keptType;
    } table[] = {
        {"a named pipe", [&] { return ::mkfifo(name.constData(), 0600) == 0; }, S_IFIFO},
        {"a link to /dev/zero", [&] { return ::symlink("/dev/zero", name.constData()) == 0; }, S_IFLNK},
        {"a schedule followed by a gigabyte of nothing",
         [&] {
             writeAll(path(), "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
             return ::truncate(name.constData(), 1 << 30) == 0;
         },
         S_IFREG},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        QDir(tmp.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(tmp.path()));
        ASSERT_TRUE(row.make());
        const ScheduleReadResult read = file.read();
        EXPECT_EQ(read.state, ScheduleReadResult::State::Unreadable);
        EXPECT_TRUE(read.records.isEmpty());

        ASSERT_TRUE(file.write(sampleRecords()));
        EXPECT_EQ(file.read().records, sampleRecords());
        const QStringList kept = keptCopies();
        ASSERT_EQ(kept.size(), 1);
        struct stat keptStat;
        ASSERT_EQ(::lstat(QFile::encodeName(tmp.filePath(kept[0])).constData(), &keptStat), 0);
        EXPECT_EQ(keptStat.st_mode & S_IFMT, row.keptType);
    }
    struct stat zero;
    ASSERT_EQ(::stat("/dev/zero", &zero), 0);
    EXPECT_TRUE(S_ISCHR(zero.st_mode)) << "nothing was written through the link";
}

TEST_F(ScheduleFileTest, TwoUnreadableFilesInOneMinuteKeepBothCopies)
{
    writeAll(path(), "first damage");
    ASSERT_TRUE(file.write({}));
    writeAll(path(), "second damage");
    ASSERT_TRUE(file.write({}));
    EXPECT_EQ(keptCopies(),
              (QStringList{u"Scheduled Backups.xml.unreadable-2026-12-07-1030"_s,
                           u"Scheduled Backups.xml.unreadable-2026-12-07-1030-2"_s}));
}

TEST_F(ScheduleFileTest, AFileThatCannotBeWrittenIsReportedAndTheListKept)
{
    // The folder of the schedule is a plain file: nothing can be created there.
    const QString blocker = tmp.filePath(u"blocker"_s);
    writeAll(blocker, "x");
    RecordingPoster poster;
    SharedSchedule schedule(ScheduleFile(blocker + u"/Scheduled Backups.xml"_s, clock), poster);
    BackupParameters job;
    job.sourcePath = u"/src"_s;
    job.destPath = u"/dst"_s;
    job.snapshotsToKeep = qlonglong(3);
    EXPECT_FALSE(schedule.updateSharedArrayAndWriteToFile(&job));
    EXPECT_TRUE(schedule.lastError().contains(blocker)) << schedule.lastError().toStdString();
    EXPECT_EQ(schedule.count(), 1) << "the list stays the master copy; the next save tries again";
    EXPECT_EQ(poster.posted.size(), 1) << "the agent is told all the same";
}

} // namespace
