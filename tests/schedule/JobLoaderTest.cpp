// Showing a scheduled job in the window and adopting it as the controller's
// job: every control, the defaults of a thin record, and the link
// destination chosen only once the pair and mode are in place.
#include "JobLoader.h"
#include "WindowlessScheduledJobView.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// The windowless schedule editor, starting from a window that shows another job.
class FakeJobView final : public WindowlessScheduledJobView<>
{
public:
    FakeJobView()
    {
        time = QTime(8, 15);
        snapshotsText = u"7"_s;
        excludedFiles = QStringList{u"/old"_s};
        startButtonEnabled = false;
        addToScheduleButtonEnabled = false;
    }
};

class RecordingHolder final : public ScheduledJobHolder
{
public:
    explicit RecordingHolder(const FakeJobView &view) : m_view(view) {}
    bool isIdle() const override { return idle; }
    void adoptScheduledJob(const LoadedJob &job) override { adopted.append(job); }
    void handleLinkDest() override
    {
        // What handleLinkDest would see: the adopted pair and the mode row.
        linkDestCalls.append({adopted.isEmpty() ? QString() : adopted.constLast().destPath, m_view.modeRow});
    }

    bool idle = true;
    QList<LoadedJob> adopted;
    QList<QPair<QString, int>> linkDestCalls;

private:
    const FakeJobView &m_view;
};

class JobLoaderTest : public ::testing::Test
{
protected:
    bool load(const JobRecord &record)
    {
        return JobLoader::loadUIFromDictionary(record, view, holder, QLocale(QLocale::English, QLocale::UnitedStates));
    }

    FakeJobView view;
    RecordingHolder holder{view};
};

TEST_F(JobLoaderTest, AFullRecordFillsEveryControlAndThenChoosesTheLinkDestination)
{
    const JobRecord record{
        {u"sourcePath"_s, u"/home/ada/Documents"_s},
        {u"destPath"_s, u"/media/ada/Backup Disk/"_s},
        {u"hardlinks"_s, true},
        {u"snapshotsToKeep"_s, qlonglong(4)},
        // Tuesday 19:45, Sunday 19:45
        {u"scheduledDates"_s, QStringList{u"Tue-08-12-2026 19:45"_s, u"Sun-13-12-2026 19:45"_s}},
        {u"excludedFiles"_s, QStringList{u"/home/ada/Documents/cache"_s}},
        {u"linkDest"_s, u"/media/ada/Backup Disk/VLM Snapshot 06-12-2026 Sun 21-00 PM/"_s},
    };
    ASSERT_TRUE(load(record));

    ASSERT_EQ(holder.adopted.size(), 1);
    const LoadedJob &job = holder.adopted.constFirst();
    EXPECT_EQ(job.sourcePath, u"/home/ada/Documents"_s);
    EXPECT_EQ(job.destPath, u"/media/ada/Backup Disk/"_s);
    EXPECT_EQ(job.excludedFiles, QStringList{u"/home/ada/Documents/cache"_s});
    EXPECT_EQ(job.snapshotLimit, 4);

    EXPECT_EQ(view.snapshotsText, u"4"_s);
    EXPECT_EQ(view.sourceIcon, u"/home/ada/Documents"_s);
    EXPECT_EQ(view.sourceName, u"Documents"_s);
    EXPECT_EQ(view.destIcon, u"/media/ada/Backup Disk/"_s);
    EXPECT_EQ(view.destName, u"Backup Disk"_s);
    EXPECT_EQ(view.modeRow, 1);
    EXPECT_EQ(view.days, (std::array<bool, 7>{false, true, false, false, false, false, true}));
    EXPECT_EQ(view.time, QTime(19, 45));
    EXPECT_EQ(view.excludedFiles, QStringList{u"/home/ada/Documents/cache"_s});
    EXPECT_TRUE(view.startButtonEnabled);
    EXPECT_TRUE(view.addToScheduleButtonEnabled);
    // The link destination is looked up for the new pair in Snapshot mode,
    // before the volume menus are rebuilt.
    EXPECT_EQ(holder.linkDestCalls, (QList<QPair<QString, int>>{{u"/media/ada/Backup Disk/"_s, 1}}));
    EXPECT_EQ(view.menuRebuilds, (QStringList{u"dest"_s, u"source"_s}));
}

TEST_F(JobLoaderTest, ThinOrOddRecordsReadAsTheirDefaults)
{
    struct Case
    {
        const char *name;
        JobRecord record;
        QString snapshotsText;
        qint64 limit;
        std::array<bool, 7> days;
        QTime time;
        bool buttonsEnabled;
    };
    const QTime unchanged(8, 15);
    const Case cases[] = {
        {"no count: 99, no dates: weekdays cleared and time kept",
         {{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}},
         u"99"_s,
         99,
         {},
         unchanged,
         true},
        {"a fraction shows as typed and rounds up",
         {{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}, {u"snapshotsToKeep"_s, 2.5}},
         u"2.5"_s,
         3,
         {},
         unchanged,
         true},
        {"0 keeps everything",
         {{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}, {u"snapshotsToKeep"_s, 0}},
         u"0"_s,
         0,
         {},
         unchanged,
         true},
        {"a negative count keeps everything",
         {{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}, {u"snapshotsToKeep"_s, qlonglong(-2)}},
         u"-2"_s,
         0,
         {},
         unchanged,
         true},
        {"a first date that does not parse leaves the time, later dates still select",
         {{u"sourcePath"_s, u"/a"_s},
          {u"destPath"_s, u"/b"_s},
          {u"scheduledDates"_s, QStringList{u"garbage"_s, u"Mon-07-12-2026 06:05"_s}}},
         u"99"_s,
         99,
         {true, false, false, false, false, false, false},
         unchanged,
         true},
        {"no destination: the buttons stay as they were",
         {{u"sourcePath"_s, u"/a"_s}},
         u"99"_s,
         99,
         {},
         unchanged,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view = FakeJobView();
        view.days.fill(true);
        holder.adopted.clear();
        ASSERT_TRUE(load(c.record));
        EXPECT_EQ(view.snapshotsText, c.snapshotsText);
        EXPECT_EQ(holder.adopted.constLast().snapshotLimit, c.limit);
        EXPECT_EQ(view.days, c.days);
        EXPECT_EQ(view.time, c.time);
        EXPECT_EQ(view.startButtonEnabled, c.buttonsEnabled);
        EXPECT_EQ(view.excludedFiles, QStringList());
        EXPECT_EQ(view.modeRow, 0);
    }
}

TEST_F(JobLoaderTest, NothingChangesWhileARunIsInProgress)
{
    holder.idle = false;
    EXPECT_FALSE(load({{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}, {u"hardlinks"_s, true}}));
    EXPECT_TRUE(holder.adopted.isEmpty());
    EXPECT_TRUE(holder.linkDestCalls.isEmpty());
    EXPECT_EQ(view.modeRow, 0);
    EXPECT_EQ(view.snapshotsText, u"7"_s);
    EXPECT_TRUE(view.menuRebuilds.isEmpty());
}

} // namespace
