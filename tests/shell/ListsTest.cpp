// The exclusion list and the schedule list as the user works them.
#include "WindowFixture.h"

#include "ExcludeFilesTableView.h"
#include "RetentionDialog.h"
#include "shared/RecordingPoster.h"
#include "ScheduleListModel.h"
#include "SharedSchedule.h"
#include "TableViewVariableRowHeightsAppDelegate.h"
#include "Clock.h"
#include "RunDates.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimeEdit>

namespace {

// A run date in the coming week: not due, and one the application itself
// could have saved.
QString nextMondayAt(int hour, int minute)
{
    return runDateText(nextRunDate(QDateTime::currentDateTime(), 2, hour, minute));
}

using ExclusionsTest = WindowTest;

void selectRows(QTableView *table, const QList<int> &rows)
{
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList shownRows(QTableView *table, int column = 0)
{
    QStringList rows;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        rows << table->model()->index(row, column).data().toString();
    return rows;
}

TEST_F(ExclusionsTest, AddingAppendsNewPathsInTheChoosersOrderAndNeverTwice)
{
    startApp();
    SchedulingPanel *panel = outlets().schedulingView;
    m_chooser.exclusionAnswers = {{QStringLiteral("/data/b"), QStringLiteral("/data/a")},
                                  {QStringLiteral("/data/a"), QStringLiteral("/data/c"), QStringLiteral("/data/b")}};
    panel->addExclusionButton()->click();
    panel->addExclusionButton()->click();
    const QStringList expected{QStringLiteral("/data/b"), QStringLiteral("/data/a"), QStringLiteral("/data/c")};
    EXPECT_EQ(m_app->controller().excludedFiles, expected);
    EXPECT_EQ(shownRows(panel->excludeFilesTable()), expected);
}

TEST_F(ExclusionsTest, RemovingTakesOutExactlyTheSelectedRows)
{
    startApp();
    SchedulingPanel *panel = outlets().schedulingView;
    m_chooser.exclusionAnswers = {
        {QStringLiteral("/0"), QStringLiteral("/1"), QStringLiteral("/2"), QStringLiteral("/3"), QStringLiteral("/4")}};
    panel->addExclusionButton()->click();
    panel->excludeFilesTable()->clearSelection();
    EXPECT_FALSE(panel->removeExclusionButton()->isEnabled());
    m_app->view().exclusions()->deleteSelectedRow(); // nothing selected: nothing changes
    EXPECT_EQ(m_app->controller().excludedFiles.size(), 5);
    selectRows(panel->excludeFilesTable(), {0, 2, 4});
    ASSERT_TRUE(panel->removeExclusionButton()->isEnabled());
    panel->removeExclusionButton()->click();
    EXPECT_EQ(m_app->controller().excludedFiles, (QStringList{QStringLiteral("/1"), QStringLiteral("/3")}));
    EXPECT_EQ(shownRows(panel->excludeFilesTable()), m_app->controller().excludedFiles);
}

TEST(ExcludeFilesTableView, PureListEdits)
{
    EXPECT_EQ(ExcludeFilesTableView::withAdded({QStringLiteral("/a")}, {QStringLiteral("/a"), QStringLiteral("/b")}),
              (QStringList{QStringLiteral("/a"), QStringLiteral("/b")}));
    EXPECT_EQ(ExcludeFilesTableView::withoutRows({QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")},
                                                 {2, 0, 7, 0}),
              QStringList{QStringLiteral("/b")});
}

JobRecord record(const QString &source, const QString &dest, const QStringList &dates, bool snapshot = false)
{
    BackupParameters job;
    job.sourcePath = source;
    job.destPath = dest;
    job.hardlinks = snapshot;
    job.snapshotsToKeep = qlonglong(5);
    job.scheduledDates = dates;
    job.excludedFiles = {source + QStringLiteral("/cache")};
    return job.getParametersDictionary();
}

TEST_F(ExclusionsTest, LoadingAJobReplacesTheListAndLaterEditsGoToTheNewList)
{
    ScheduleFile(scheduleFilePath(), Clock::system()).write({record(m_source, m_dest, {nextMondayAt(14, 30)})});
    startApp();
    SchedulingPanel *panel = outlets().schedulingView;
    m_chooser.exclusionAnswers = {{QStringLiteral("/before")}, {QStringLiteral("/after")}};
    panel->addExclusionButton()->click();
    QTableView *schedule = panel->backupsSchedulerTableView();
    selectRows(schedule, {0});
    Q_EMIT schedule->doubleClicked(schedule->model()->index(0, 0));
    EXPECT_EQ(shownRows(panel->excludeFilesTable()), QStringList{m_source + QStringLiteral("/cache")});
    panel->addExclusionButton()->click();
    EXPECT_EQ(m_app->controller().excludedFiles,
              (QStringList{m_source + QStringLiteral("/cache"), QStringLiteral("/after")}));
    EXPECT_EQ(shownRows(panel->excludeFilesTable()), m_app->controller().excludedFiles);
    // The chooser opens in the source of the job at hand.
    EXPECT_EQ(m_chooser.exclusionStartFolders, (QStringList{QString(), m_source}));
}

TEST(ScheduleListModel, CellsShowDaysTypeAndTime)
{
    RecordingPoster poster;
    QTemporaryDir dir;
    SharedSchedule schedule(ScheduleFile(dir.filePath(QStringLiteral("s.xml")), Clock::system()), poster);
    const QStringList everyDay{QStringLiteral("Mon-14-12-2026 09:05"), QStringLiteral("Tue-15-12-2026 09:05"),
                               QStringLiteral("Wed-09-12-2026 09:05"), QStringLiteral("Thu-10-12-2026 09:05"),
                               QStringLiteral("Fri-11-12-2026 09:05"), QStringLiteral("Sat-12-12-2026 09:05"),
                               QStringLiteral("Sun-13-12-2026 09:05")};
    BackupParameters a, b, c;
    for (auto [job, dates, snapshot] :
         {std::tuple{&a,
                     QStringList{QStringLiteral("Mon-14-12-2026 14:30"), QStringLiteral("Wed-09-12-2026 14:30"),
                                 QStringLiteral("Fri-11-12-2026 14:30")},
                     true},
          std::tuple{&b, everyDay, false}, std::tuple{&c, QStringList{}, false}}) {
        job->sourcePath = QStringLiteral("/home/ann/") + QString::number(schedule.count());
        job->destPath = QStringLiteral("/media/ann/Backup");
        job->hardlinks = snapshot;
        job->snapshotsToKeep = qlonglong(3);
        job->scheduledDates = dates;
        schedule.updateSharedArrayAndWriteToFile(job);
    }
    ScheduleListModel model(schedule);
    const struct
    {
        int row;
        const char *days;
        const char *type;
        const char *time; // nullptr: no cell
    } rows[]
        = {{0, "Mon Wed Fri ", "Snapshot", "02:30 PM"}, {1, "Every Day", "Sync", "09:05 AM"}, {2, "", "Sync", nullptr}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(model.index(row.row, ScheduleListModel::Days).data().toString(), QString::fromUtf8(row.days));
        EXPECT_EQ(model.index(row.row, ScheduleListModel::Type).data().toString(), QString::fromUtf8(row.type));
        const QVariant time = model.index(row.row, ScheduleListModel::Time).data();
        if (row.time)
            EXPECT_EQ(time.toString(), QString::fromUtf8(row.time));
        else
            EXPECT_FALSE(time.isValid());
        EXPECT_EQ(model.index(row.row, ScheduleListModel::Destination).data().toString(), QStringLiteral("Backup"));
    }
    const QStringList headers{QStringLiteral("Source"), QStringLiteral("Destination"), QStringLiteral("Days"),
                              QStringLiteral("Type"), QStringLiteral("Time")};
    for (int column = 0; column < headers.size(); ++column)
        EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), headers.at(column));
}

using ScheduleListTest = WindowTest;

TEST_F(ScheduleListTest, DeletingThreeOfFiveRowsWritesTheTwoOthersAndTellsTheAgentOnce)
{
    startApp();
    QTemporaryDir dir;
    RecordingPoster poster;
    const QString path = dir.filePath(QStringLiteral("Scheduled Backups.xml"));
    SharedSchedule schedule(ScheduleFile(path, Clock::system()), poster);
    for (int i = 0; i < 5; ++i) {
        BackupParameters job;
        job.sourcePath = QStringLiteral("/src/%1").arg(i);
        job.destPath = QStringLiteral("/dst");
        job.snapshotsToKeep = qlonglong(1);
        schedule.updateSharedArrayAndWriteToFile(&job);
    }
    poster.posted.clear();
    TableViewVariableRowHeightsAppDelegate list(schedule, m_app->controller());
    QTableView table;
    list.setTableView(&table);
    selectRows(&table, {0, 2, 3});
    list.deleteSelectedRow();
    EXPECT_EQ(poster.posted.size(), 1);
    EXPECT_EQ(poster.posted.value(0).first, QStringLiteral("SCHEDULECHANGED"));
    const QList<JobRecord> written = ScheduleFile(path, Clock::system()).arrayWithContentsOfFile();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(JobRecords::sourcePath(written.at(0)), QStringLiteral("/src/1"));
    EXPECT_EQ(JobRecords::sourcePath(written.at(1)), QStringLiteral("/src/4"));
    EXPECT_EQ(table.model()->rowCount(), 2);
}

TEST_F(ScheduleListTest, AddToScheduleShowsTheJobAndADoubleClickLoadsIt)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    SchedulingPanel *panel = outlets().schedulingView;
    panel->daySegment(0)->click();
    panel->daySegment(4)->click();
    panel->timeToRunScheduler()->setTime(QTime(14, 30));
    panel->addToScheduleButton()->click();
    QTableView *table = panel->backupsSchedulerTableView();
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(shownRows(table, ScheduleListModel::Days), QStringList{QStringLiteral("Mon Fri ")});
    EXPECT_EQ(shownRows(table, ScheduleListModel::Time), QStringList{QStringLiteral("02:30 PM")});
    // Another job in the window; a double click brings the scheduled one back.
    chooseSourceAndDest(m_dest, m_source);
    panel->daySegment(0)->click();
    selectRows(table, {0});
    Q_EMIT table->doubleClicked(table->model()->index(0, 0));
    EXPECT_EQ(m_app->controller().backupSources, QStringList{m_source});
    EXPECT_EQ(m_app->controller().backupDest, m_dest);
    EXPECT_TRUE(panel->daySegment(0)->isChecked());
    EXPECT_TRUE(panel->daySegment(4)->isChecked());
    EXPECT_EQ(panel->timeToRunScheduler()->time(), QTime(14, 30));
}

TEST_F(ScheduleListTest, ADoubleClickWhileABackupRunsChangesNothing)
{
    ScheduleFile(scheduleFilePath(), Clock::system()).write({record(m_dest, m_source, {nextMondayAt(14, 30)}, true)});
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    outlets().startButton->click();
    QTableView *table = outlets().schedulingView->backupsSchedulerTableView();
    selectRows(table, {0});
    Q_EMIT table->doubleClicked(table->model()->index(0, 0));
    EXPECT_EQ(m_app->controller().backupSources, QStringList{m_source});
    EXPECT_EQ(m_app->controller().backupDest, m_dest);
    EXPECT_EQ(outlets().sourceName->text(), QStringLiteral("Documents"));
    EXPECT_FALSE(outlets().snapshotRow->isChecked());
}

} // namespace

namespace {

using SnapshotCountTest = WindowTest;

TEST_F(SnapshotCountTest, TheCountTypedInTheBoxIsTheCountTheNextRunKeeps)
{
    startApp();
    QLineEdit *box = outlets().schedulingView->snapshotsCopiesBox();
    const struct
    {
        const char *typed;
        int kept;
    } cases[] = {{"5", 5}, {" 12 ", 12}, {"2.5", 3}, {"0", 0}, {"many", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        box->setText(QString::fromUtf8(c.typed));
        Q_EMIT box->editingFinished();
        EXPECT_EQ(m_app->controller().snapshotsToKeep, c.kept);
    }
}

} // namespace

// The rule for old snapshots: the preview follows the choice and its counts,
// and the dialog gives back what was chosen.
TEST(RetentionDialogTest, ThePreviewFollowsTheRuleAndItsCounts)
{
    using namespace Qt::StringLiterals;
    QList<RetentionRule> asked;
    const auto preview = [&asked](const RetentionRule &rule) {
        asked << rule;
        const bool thinning = rule.thinning.has_value();
        return QList<SnapshotRotation::PruneEntry>{{u"/d/VLM Snapshot 01-12-2026 Tue 12-00 PM"_s, thinning},
                                                   {u"/d/VLM Snapshot 02-12-2026 Wed 12-00 PM"_s, true}};
    };
    RetentionDialog dialog(1, std::nullopt, preview);
    EXPECT_TRUE(dialog.keepLastButton()->isChecked());
    EXPECT_FALSE(dialog.countBox(0)->isEnabled());
    EXPECT_EQ(dialog.chosenPolicy(), std::nullopt);
    EXPECT_TRUE(dialog.summary()->text().contains(u"1 would be removed"_s)) << dialog.summary()->text().toStdString();
    EXPECT_TRUE(dialog.previewList()->item(1)->text().startsWith(u"Remove"_s));

    dialog.thinOutButton()->setChecked(true);
    dialog.countBox(1)->setValue(7);
    EXPECT_EQ(dialog.chosenPolicy(), (ThinningPolicy{24, 7, 8, 12}));
    EXPECT_EQ(asked.constLast().thinning, (ThinningPolicy{24, 7, 8, 12}));
    EXPECT_TRUE(dialog.summary()->text().contains(u"0 would be removed"_s));
    EXPECT_EQ(dialog.countBox(0)->minimum(), 1);
}
