// The in-memory schedule: the matching rule, replace in place or append,
// row deletion, start-up loading, and a notification after every save.
#include "Clock.h"
#include "SharedSchedule.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SharedScheduleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        existing = tmp.filePath(u"existing"_s);
        ASSERT_TRUE(QDir().mkpath(existing));
    }

    BackupParameters job(const QString &source, const QString &dest, qlonglong count = 5) const
    {
        BackupParameters parameters;
        parameters.sourcePath = source;
        parameters.destPath = dest;
        parameters.snapshotsToKeep = count;
        return parameters;
    }

    QString path() const { return tmp.filePath(u"Scheduled Backups.xml"_s); }

    QTemporaryDir tmp;
    FixedClock clock{QDateTime(QDate(2026, 12, 7), QTime(10, 30), Qt::UTC)};
    RecordingPoster poster;
    SharedSchedule schedule{ScheduleFile(path(), clock), poster};
    QString existing;
};

TEST_F(SharedScheduleTest, PairsMatchByFileUrl)
{
    const QString missing = tmp.filePath(u"missing"_s);
    const BackupParameters saved = job(existing, existing + u"/dest"_s);
    QDir().mkpath(existing + u"/dest"_s);
    schedule.updateSharedArrayAndWriteToFile(&saved);

    const struct
    {
        const char *name;
        QString source;
        QString dest;
        qsizetype row;
    } table[] = {
        {"same paths", existing, existing + u"/dest"_s, 0},
        {"trailing slash on existing folders", existing + u'/', existing + u"/dest/"_s, 0},
        {"other destination", existing, missing, -1},
        {"empty source", QString(), existing + u"/dest"_s, -1},
        {"empty destination", existing, QString(), -1},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(schedule.indexOfMatchingRecord(row.source, row.dest), row.row);
    }

    // A folder that does not exist keeps its trailing "/" distinct, as a URL does.
    const BackupParameters gone = job(missing, missing);
    schedule.updateSharedArrayAndWriteToFile(&gone);
    EXPECT_EQ(schedule.indexOfMatchingRecord(missing, missing), 1);
    EXPECT_EQ(schedule.indexOfMatchingRecord(missing + u'/', missing), -1);
}

TEST_F(SharedScheduleTest, ReplaceKeepsTheRowAppendGoesLast)
{
    const BackupParameters a = job(u"/a"_s, u"/x"_s), b = job(u"/b"_s, u"/x"_s), c = job(u"/c"_s, u"/x"_s);
    for (const BackupParameters *parameters : {&a, &b, &c})
        schedule.updateSharedArrayAndWriteToFile(parameters);
    const BackupParameters bAgain = job(u"/b"_s, u"/x"_s, 42);
    schedule.updateSharedArrayAndWriteToFile(&bAgain);

    const QList<JobRecord> records = schedule.file().arrayWithContentsOfFile();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records, schedule.sharedParams());
    EXPECT_EQ(JobRecords::sourcePath(records[1]), u"/b"_s);
    EXPECT_EQ(JobRecords::snapshotsToKeep(records[1]), qlonglong(42));
    EXPECT_EQ(JobRecords::sourcePath(records[2]), u"/c"_s);
}

TEST_F(SharedScheduleTest, EverySaveAndDeletionPostsScheduleChanged)
{
    const BackupParameters a = job(u"/a"_s, u"/x"_s), b = job(u"/b"_s, u"/x"_s);
    schedule.updateSharedArrayAndWriteToFile(&a);
    schedule.updateSharedArrayAndWriteToFile(&b);
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    EXPECT_TRUE(schedule.updateSharedArrayAndWriteToFile()); // a plain rewrite
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    EXPECT_TRUE(schedule.deleteRows({0, 0, 7}));
    ASSERT_EQ(schedule.file().arrayWithContentsOfFile().size(), 1);
    EXPECT_EQ(JobRecords::sourcePath(schedule.file().arrayWithContentsOfFile()[0]), u"/b"_s);

    const QPair<QString, QString> changed{u"SCHEDULECHANGED"_s, u"beepbeep"_s};
    EXPECT_EQ(poster.posted, (QList<QPair<QString, QString>>(4, changed)));
}

TEST_F(SharedScheduleTest, StartupLoadsTheFileOnlyIntoAnEmptyList)
{
    const BackupParameters a = job(u"/a"_s, u"/x"_s);
    {
        SharedSchedule writer(ScheduleFile(path(), clock), poster);
        writer.updateSharedArrayAndWriteToFile(&a);
    }
    EXPECT_EQ(schedule.loadFromFileIfEmpty(), ScheduleReadResult::State::Read);
    EXPECT_EQ(schedule.count(), 1);

    SharedSchedule busy(ScheduleFile(path(), clock), poster);
    const BackupParameters b = job(u"/b"_s, u"/x"_s);
    busy.updateSharedArrayAndWriteToFile(&b);
    busy.recordAt(0).insert(JobKey::snapshotsToKeep, qlonglong(1));
    busy.loadFromFileIfEmpty();
    ASSERT_EQ(busy.count(), 1);
    EXPECT_EQ(JobRecords::snapshotsToKeep(busy.sharedParams()[0]), qlonglong(1)) << "never merged back";
}

} // namespace
