// Showing a scheduled job in the window and adopting it as the controller's
// job: every control, the defaults of a thin record, and the link
// destination chosen only once the pair and mode are in place.
#include "JobLoader.h"
#include "ScheduledJobView.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>

using namespace Qt::StringLiterals;

namespace {

class FakeJobView final : public ScheduledJobView
{
public:
    bool isScheduledDaySelected(int segment) const override { return days[segment]; }
    void setScheduledDaySelected(int segment, bool selected) override { days[segment] = selected; }
    QTime scheduledTime() const override { return time; }
    void setScheduledTime(const QTime &value) override { time = value; }
    QString snapshotsToKeepText() const override { return snapshotsText; }
    void setSnapshotsToKeepText(const QString &text) override { snapshotsText = text; }
    int duplicateOrHardlinksSelectedRow() const override { return modeRow; }
    void reloadScheduleTable() override {}

    QString startButtonTitle() const override { return title; }
    void showSourceIcon(const QString &path) override { sourceIcon = path; }
    void setSourceDisplayName(const QString &name) override { sourceName = name; }
    void showDestIcon(const QString &path) override { destIcon = path; }
    void setDestDisplayName(const QString &name) override { destName = name; }
    void selectDuplicateOrHardlinksRow(int row) override { modeRow = row; }
    void setDelegateExcludedFiles(const QStringList &files) override { excluded = files; }
    void setStartButtonEnabled(bool enabled) override { startEnabled = enabled; }
    void setAddToScheduleButtonEnabled(bool enabled) override { addEnabled = enabled; }
    void repopulateMountedVolumesMenu_Dest(bool leaveSelection) override
    {
        menuRebuilds.append(leaveSelection ? u"dest, leave"_s : u"dest"_s);
    }
    void repopulateMountedVolumesMenu(bool leaveSelection) override
    {
        menuRebuilds.append(leaveSelection ? u"source, leave"_s : u"source"_s);
    }

    QString title = u"Backup"_s;
    std::array<bool, 7> days{};
    QTime time{8, 15};
    QString snapshotsText = u"7"_s;
    int modeRow = 0;
    QString sourceIcon, sourceName, destIcon, destName;
    QStringList excluded{u"/old"_s};
    bool startEnabled = false;
    bool addEnabled = false;
    QStringList menuRebuilds;
};

class RecordingHolder final : public ScheduledJobHolder
{
public:
    explicit RecordingHolder(const FakeJobView &view) : m_view(view) {}
    void adoptScheduledJob(const LoadedJob &job) override { adopted.append(job); }
    void handleLinkDest() override
    {
        // What handleLinkDest would see: the adopted pair and the mode row.
        linkDestCalls.append({adopted.isEmpty() ? QString() : adopted.constLast().destPath, m_view.modeRow});
    }

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
    EXPECT_EQ(view.excluded, QStringList{u"/home/ada/Documents/cache"_s});
    EXPECT_TRUE(view.startEnabled);
    EXPECT_TRUE(view.addEnabled);
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
        EXPECT_EQ(view.startEnabled, c.buttonsEnabled);
        EXPECT_EQ(view.excluded, QStringList());
        EXPECT_EQ(view.modeRow, 0);
    }
}

TEST_F(JobLoaderTest, NothingChangesWhileARunIsInProgress)
{
    view.title = u"Stop"_s;
    EXPECT_FALSE(load({{u"sourcePath"_s, u"/a"_s}, {u"destPath"_s, u"/b"_s}, {u"hardlinks"_s, true}}));
    EXPECT_TRUE(holder.adopted.isEmpty());
    EXPECT_TRUE(holder.linkDestCalls.isEmpty());
    EXPECT_EQ(view.modeRow, 0);
    EXPECT_EQ(view.snapshotsText, u"7"_s);
    EXPECT_TRUE(view.menuRebuilds.isEmpty());
}

} // namespace
