// The in-memory schedule: the matching rule, replace in place or append,
// row deletion, start-up loading, and a notification after every save.
#include "Clock.h"
#include "SharedSchedule.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <thread>
#include <vector>

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
    ASSERT_EQ(busy.count(), 2) << "a save refreshes the list from the file it wrote";
    busy.recordAt(0).insert(JobKey::snapshotsToKeep, qlonglong(1));
    busy.loadFromFileIfEmpty();
    ASSERT_EQ(busy.count(), 2);
    EXPECT_EQ(JobRecords::snapshotsToKeep(busy.sharedParams()[0]), qlonglong(1))
        << "start-up loading never overwrites an unsaved change";
}

// Two front ends (or a front end and the terminal tool) with lists of their own.
class TwoInstancesTest : public SharedScheduleTest
{
protected:
    void SetUp() override
    {
        SharedScheduleTest::SetUp();
        for (const char *source : {"/a", "/b", "/c"}) {
            const BackupParameters saved = job(QLatin1String(source), u"/x"_s);
            schedule.updateSharedArrayAndWriteToFile(&saved);
        }
        other.loadFromFileIfEmpty();
        ASSERT_EQ(other.count(), 3);
    }
    QStringList sourcesInFile() const
    {
        QStringList sources;
        for (const JobRecord &record : schedule.file().arrayWithContentsOfFile())
            sources << JobRecords::sourcePath(record) + u':' + JobRecords::snapshotsToKeep(record).toString();
        return sources;
    }
    SharedSchedule other{ScheduleFile(path(), clock), poster};
};

TEST_F(TwoInstancesTest, ASaveFromAStaleListKeepsWhatTheOtherSaved)
{
    const struct
    {
        const char *name;
        std::function<void(SharedSchedule &)> first;  // by `schedule`, which `other` does not see
        std::function<void(SharedSchedule &)> second; // by `other`, from its stale list
        QStringList expected;
    } cases[] = {
        {"both add a job",
         [this](SharedSchedule &s) {
             const auto d = job(u"/d"_s, u"/x"_s);
             s.updateSharedArrayAndWriteToFile(&d);
         },
         [this](SharedSchedule &s) {
             const auto e = job(u"/e"_s, u"/x"_s);
             s.updateSharedArrayAndWriteToFile(&e);
         },
         {u"/a:5"_s, u"/b:5"_s, u"/c:5"_s, u"/d:5"_s, u"/e:5"_s}},
        {"one adds, the other rewrites after a change in place",
         [this](SharedSchedule &s) {
             const auto d = job(u"/d"_s, u"/x"_s);
             s.updateSharedArrayAndWriteToFile(&d);
         },
         [](SharedSchedule &s) {
             s.recordAt(1).insert(JobKey::snapshotsToKeep, qlonglong(9));
             s.updateSharedArrayAndWriteToFile();
         },
         {u"/a:5"_s, u"/b:9"_s, u"/c:5"_s, u"/d:5"_s}},
        {"one changes a job, the other deletes another",
         [this](SharedSchedule &s) {
             const auto a = job(u"/a"_s, u"/x"_s, 7);
             s.updateSharedArrayAndWriteToFile(&a);
         },
         [](SharedSchedule &s) { s.deleteRows({2}); },
         {u"/a:7"_s, u"/b:5"_s}},
        {"a job changed in place stays deleted when the other deleted it",
         [](SharedSchedule &s) { s.deleteRows({0}); },
         [](SharedSchedule &s) {
             s.recordAt(0).insert(JobKey::linkDest, u"/x/snapshot"_s);
             s.updateSharedArrayAndWriteToFile();
         },
         {u"/b:5"_s, u"/c:5"_s}},
        {"a job saved again is saved even when the other deleted it",
         [](SharedSchedule &s) { s.deleteRows({0}); },
         [this](SharedSchedule &s) {
             const auto a = job(u"/a"_s, u"/x"_s, 3);
             s.updateSharedArrayAndWriteToFile(&a);
         },
         {u"/b:5"_s, u"/c:5"_s, u"/a:3"_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SharedSchedule first(ScheduleFile(path(), clock), poster);
        SharedSchedule second(ScheduleFile(path(), clock), poster);
        ASSERT_TRUE(schedule.file().write({}));
        for (const char *source : {"/a", "/b", "/c"}) {
            const BackupParameters saved = job(QLatin1String(source), u"/x"_s);
            first.updateSharedArrayAndWriteToFile(&saved);
        }
        second.loadFromFileIfEmpty();
        c.first(first);
        c.second(second);
        EXPECT_EQ(sourcesInFile(), c.expected);
        QStringList inMemory;
        for (const JobRecord &record : second.sharedParams())
            inMemory << JobRecords::sourcePath(record) + u':' + JobRecords::snapshotsToKeep(record).toString();
        EXPECT_EQ(inMemory, c.expected) << "the list is refreshed from what was written";
    }
}

TEST_F(TwoInstancesTest, TwentyParallelSavesLeaveTwentyJobs)
{
    ASSERT_TRUE(schedule.file().write({}));
    constexpr int savers = 20;
    std::latch allLoaded(savers);
    std::vector<std::thread> threads;
    std::atomic_int written = 0;
    for (int i = 0; i < savers; ++i) {
        threads.emplace_back([&, i] {
            RecordingPoster ownPoster;
            SharedSchedule own(ScheduleFile(path(), clock), ownPoster);
            own.loadFromFileIfEmpty();
            allLoaded.arrive_and_wait(); // every list is stale before anyone saves
            const BackupParameters saved = job(u"/source-%1"_s.arg(i), u"/x"_s);
            if (own.updateSharedArrayAndWriteToFile(&saved))
                ++written;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(written, savers);
    EXPECT_EQ(schedule.file().arrayWithContentsOfFile().size(), savers);
}

TEST_F(TwoInstancesTest, TheLockLivesBesideTheScheduleInTheSupportFolder)
{
    EXPECT_EQ(schedule.file().lockPath(), path() + u".lock"_s);
    EXPECT_TRUE(QFileInfo::exists(schedule.file().lockPath()));
}

} // namespace
