// Schedule entry: what a save from the window's state puts into the schedule
// and its file.
#include "Clock.h"
#include "RunDates.h"
#include "ScheduleEntry.h"
#include "LocalNotificationCenter.h"
#include "WindowlessScheduledJobView.h"
#include "SharedSchedule.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The windowless schedule editor showing Snapshot mode, 14:30 and 10 copies.
class FakeScheduleView final : public WindowlessScheduledJobView<>
{
public:
    FakeScheduleView()
    {
        time = QTime(14, 30);
        snapshotsText = u"10"_s;
        modeRow = 1;
    }
};

class ScheduleEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        source = tmp.filePath(u"source"_s);
        dest = tmp.filePath(u"dest"_s);
        ASSERT_TRUE(QDir().mkpath(source));
        ASSERT_TRUE(QDir().mkpath(dest));
    }

    ScheduledJobSettings job() const { return {{source}, dest, std::nullopt, {source + u"/cache"_s}, std::nullopt}; }
    QList<JobRecord> fileRecords() const { return schedule.file().arrayWithContentsOfFile(); }

    QTemporaryDir tmp;
    // Sunday 6 December 2026, noon.
    FixedClock clock{QDateTime(QDate(2026, 12, 6), QTime(12, 0), QTimeZone("UTC"))};
    RecordingPoster poster;
    SharedSchedule schedule{ScheduleFile(tmp.filePath(u"support/Scheduled Backups.xml"_s), clock), poster};
    ScheduleEntry entry{schedule, clock, QLocale(QLocale::English, QLocale::UnitedStates)};
    FakeScheduleView view;
    QString source;
    QString dest;
};

TEST_F(ScheduleEntryTest, SavedJobLandsInTheFileWithEveryKey)
{
    view.days[0] = true; // Monday
    const ScheduleSaveResult result = entry.addToScheduleClicked(view, job());
    EXPECT_TRUE(result.saved);
    EXPECT_TRUE(result.fileWritten) << result.error.toStdString();

    const JobRecord expected{
        {u"sourcePath"_s, source},
        {u"destPath"_s, dest},
        {u"snapshotsToKeep"_s, qlonglong(10)},
        {u"scheduledDates"_s, QStringList{u"Mon-07-12-2026 14:30"_s}},
        {u"excludedFiles"_s, QStringList{source + u"/cache"_s}},
        {u"hardlinks"_s, true},
    };
    EXPECT_EQ(schedule.sharedParams(), QList<JobRecord>{expected});
    EXPECT_EQ(fileRecords(), QList<JobRecord>{expected});
    EXPECT_EQ(poster.posted, (QList<QPair<QString, QString>>{{u"SCHEDULECHANGED"_s, u"beepbeep"_s}}));
    EXPECT_EQ(view.scheduleTableReloads, 1);
}

TEST_F(ScheduleEntryTest, ResavingAPairReplacesItsRowAndANewPairIsAppended)
{
    const QString otherDest = tmp.filePath(u"other"_s);
    ASSERT_TRUE(QDir().mkpath(otherDest));
    view.days[0] = true;
    entry.addToScheduleClicked(view, job());
    ScheduledJobSettings other = job();
    other.backupDest = otherDest;
    entry.addToScheduleClicked(view, other);

    // A week later, Friday instead of Monday, Sync mode, and the destination
    // written with a trailing "/": still the same pair, same row.
    clock.advanceSeconds(7 * 24 * 3600);
    view.days = {};
    view.days[4] = true;
    view.modeRow = 0;
    ScheduledJobSettings again = job();
    again.backupDest = dest + u'/';
    again.linkDest = dest + u"/VLM Snapshot 13-12-2026 Sun 12-00 PM"_s;
    entry.addToScheduleClicked(view, again);

    const QList<JobRecord> records = fileRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(JobRecords::scheduledDates(records[0]), QStringList{u"Fri-18-12-2026 14:30"_s});
    EXPECT_FALSE(JobRecords::hardlinks(records[0]));
    EXPECT_EQ(JobRecords::linkDest(records[0]), *again.linkDest);
    EXPECT_EQ(JobRecords::destPath(records[1]), otherDest);
    EXPECT_EQ(poster.posted.size(), 3);
}

TEST_F(ScheduleEntryTest, NoWeekdayStillSavesAndCarriesTheLinkDestination)
{
    ScheduledJobSettings settings = job();
    settings.linkDest = dest + u"/VLM Snapshot 06-12-2026 Sun 12-00 PM"_s;
    entry.addToScheduleClicked(view, settings);
    ScheduledJobSettings other = job();
    other.backupSources = {tmp.filePath(u"second"_s)};
    entry.addToScheduleClicked(view, other);

    const QList<JobRecord> records = fileRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].value(u"scheduledDates"_s), QStringList{});
    EXPECT_EQ(records[0].value(u"linkDest"_s), *settings.linkDest);
    EXPECT_FALSE(records[1].contains(u"linkDest"_s)) << "no link destination means no key, not an empty one";
}

TEST_F(ScheduleEntryTest, NothingIsSavedWithoutASourceOrADestination)
{
    ScheduledJobSettings noDest = job();
    noDest.backupDest.clear();
    ScheduledJobSettings noSources = job();
    noSources.backupSources.clear();
    for (const ScheduledJobSettings &settings : {noDest, noSources}) {
        EXPECT_FALSE(entry.addToScheduleClicked(view, settings).saved);
        EXPECT_FALSE(entry.updateScheduleParametersIfExists(view, settings));
    }
    EXPECT_TRUE(poster.posted.isEmpty());
    EXPECT_EQ(view.scheduleTableReloads, 0);
    EXPECT_FALSE(QFile::exists(schedule.file().path()));
}

TEST_F(ScheduleEntryTest, SnapshotCountIsReadAsTypedAndABadOneNeverBlocksTheSave)
{
    const struct
    {
        const char *typed;
        QVariant stored;
        bool invalid;
    } table[] = {
        {"12", qlonglong(12), false},      {" 7 ", qlonglong(7), false}, {"2.5", 2.5, false},
        {"1,000", qlonglong(1000), false}, {"", qlonglong(1000), true},  {"many", qlonglong(1000), true},
    };
    // Bad text keeps what the pair had (1000 by then).
    for (const auto &row : table) {
        SCOPED_TRACE(row.typed);
        view.snapshotsText = QString::fromLatin1(row.typed);
        const ScheduleSaveResult result = entry.addToScheduleClicked(view, job());
        EXPECT_TRUE(result.saved);
        EXPECT_EQ(result.snapshotCountWasInvalid, row.invalid);
        EXPECT_EQ(fileRecords().value(0).value(u"snapshotsToKeep"_s), row.stored);
    }
    // A new pair with bad text gets the readers' default.
    ScheduledJobSettings fresh = job();
    fresh.backupSources = {tmp.filePath(u"fresh"_s)};
    entry.addToScheduleClicked(view, fresh);
    EXPECT_EQ(fileRecords().value(1).value(u"snapshotsToKeep"_s), qlonglong(99));
}

TEST_F(ScheduleEntryTest, UpdateIfExistsOnlyResavesAScheduledPair)
{
    EXPECT_FALSE(entry.updateScheduleParametersIfExists(view, job()));
    EXPECT_TRUE(poster.posted.isEmpty());

    entry.addToScheduleClicked(view, job());
    view.days[6] = true;
    ScheduledJobSettings withSlash = job();
    withSlash.backupSources = {source + u'/'};
    const auto result = entry.updateScheduleParametersIfExists(view, withSlash);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->saved);
    ASSERT_EQ(fileRecords().size(), 1);
    EXPECT_EQ(JobRecords::scheduledDates(fileRecords()[0]), QStringList{u"Sun-06-12-2026 14:30"_s});
}

} // namespace

TEST_F(ScheduleEntryTest, ScheduledBackupsDidChangeRewritesTheListAndAnnouncesIt)
{
    ASSERT_TRUE(entry.addToScheduleClicked(view, job()).fileWritten);
    poster.posted.clear();
    // The in-memory list changed without a save (a record changed in place).
    schedule.recordAt(0).insert(JobKey::linkDest, QString(dest + u"/VLM Snapshot X/"_s));
    QObject context;
    ScheduleEntry::observeScheduledBackupsDidChange(schedule, &context);
    LocalNotificationCenter::defaultCenter().post(ScheduleEntry::scheduledBackupsDidChangeName());
    ASSERT_EQ(fileRecords().size(), 1);
    EXPECT_EQ(JobRecords::linkDest(fileRecords().at(0)), dest + u"/VLM Snapshot X/"_s);
    EXPECT_EQ(poster.posted.size(), 1);
}

TEST_F(ScheduleEntryTest, ANewJobGetsItsDestinationFolderOrIsRefused)
{
    const QString file = tmp.filePath(u"a-file"_s);
    QFile(file).open(QIODevice::WriteOnly);
    const auto presentUnlessMedia = [this](const QString &path) { return !path.startsWith(tmp.filePath(u"media"_s)); };
    ASSERT_TRUE(QDir().mkpath(tmp.filePath(u"media/user"_s)));
    struct Case
    {
        const char *name;
        QString destination;
        ScheduleEntry::DestinationFolder state;
        bool existsAfter;
    };
    const Case cases[] = {
        {"an existing folder", dest, ScheduleEntry::DestinationFolder::Exists, true},
        {"a new folder on a present disk", tmp.filePath(u"new/backups"_s), ScheduleEntry::DestinationFolder::Created,
         true},
        {"a folder on a disk not attached", tmp.filePath(u"media/user/Disk/Backups"_s),
         ScheduleEntry::DestinationFolder::OnAbsentVolume, false},
        {"a file in the way", file, ScheduleEntry::DestinationFolder::CannotCreate, false},
        {"below a file", file + u"/sub"_s, ScheduleEntry::DestinationFolder::CannotCreate, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = ScheduleEntry::prepareDestinationFolder(c.destination, presentUnlessMedia);
        EXPECT_EQ(result.state, c.state);
        EXPECT_EQ(QFileInfo(c.destination).isDir(), c.existsAfter);
        EXPECT_EQ(result.error.isEmpty(), c.state != ScheduleEntry::DestinationFolder::CannotCreate);
    }
}

// A thinning policy chosen for a job is stored; a save that chose nothing
// (another front end, an older window) keeps it; choosing the newest N
// removes it.
TEST_F(ScheduleEntryTest, AJobsThinningSurvivesSavesThatDidNotChooseARule)
{
    const ThinningPolicy policy{12, 14, 4, 6};
    const struct
    {
        const char *name;
        std::optional<ThinningChoice> choice;
        std::optional<ThinningPolicy> stored;
    } steps[] = {
        {"chosen", ThinningChoice{policy}, policy},
        {"nothing chosen", std::nullopt, policy},
        {"the newest N chosen", ThinningChoice{std::nullopt}, std::nullopt},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        ScheduledJobSettings settings = job();
        settings.thinning = step.choice;
        entry.addToScheduleClicked(view, settings);
        const QList<JobRecord> records = fileRecords();
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(JobRecords::thinning(records[0]), step.stored);
    }
}
