#include "MainWindowView.h"

#include "ExcludeFilesTableView.h"
#include "HelpLinks.h"
#include "JobLoader.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "OptionsSheet.h"
#include "PreferencesSheet.h"
#include "QuestionSheet.h"
#include "RetentionDialog.h"
#include "SharedSchedule.h"
#include "ScheduleEntry.h"
#include "SchedulingPanel.h"
#include "SourceDestPickers.h"
#include "TableViewVariableRowHeightsAppDelegate.h"
#include "VolumeMenus.h"

#include <QAction>
#include <QButtonGroup>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>
#include <QTimeEdit>
#include <QToolButton>

MainWindowView::MainWindowView(MainWindow &window, SharedSchedule &schedule, FolderChooser &chooser,
                               const VolumeLister &volumes, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_schedule(schedule)
    , m_chooser(chooser)
    , m_volumes(volumes)
    , m_progressBar(window.outlets().progressBar)
    , m_jobState(window.outlets().jobState)
    , m_displayText(window.outlets().displayText)
    , m_alertPresenter(&window)
{
    m_preferences = new PreferencesSheet(&window);
    m_options = new OptionsSheet(&window);
}

MainWindowView::~MainWindowView() = default;

const MainWindowOutlets &MainWindowView::outlets() const
{
    return m_window.outlets();
}

void MainWindowView::attach(MFTaskAppDelegate &controller)
{
    m_controller = &controller;
    const MainWindowOutlets &o = outlets();
    m_pickers
        = std::make_unique<SourceDestPickers>(controller, PickerSide{o.popUpSourceList, o.sourceButton, o.sourceName},
                                              PickerSide{o.popUpDestList, o.destButton, o.destName}, o.startButton,
                                              o.schedulingView->addToScheduleButton(), m_chooser, m_volumes);
    m_exclusions = std::make_unique<ExcludeFilesTableView>(m_chooser);
    m_exclusions->setTableView(o.schedulingView->excludeFilesTable());
    m_exclusions->setDelegateExcludedFiles(&controller.excludedFiles);
    // What is left out of a job lies in its source: the chooser opens there.
    m_exclusions->setStartFolder([&controller] { return controller.backupSources.value(0); });
    m_scheduleList = std::make_unique<TableViewVariableRowHeightsAppDelegate>(m_schedule, controller);
    m_scheduleList->setTableView(o.schedulingView->backupsSchedulerTableView());
    connectControls();
}

void MainWindowView::connectControls()
{
    const MainWindowOutlets &o = outlets();
    MFTaskAppDelegate *controller = m_controller;
    SchedulingPanel *panel = o.schedulingView;
    connect(o.startButton, &QPushButton::clicked, controller, &MFTaskAppDelegate::startButtonClicked);
    connect(o.restoreAction, &QAction::triggered, controller, &MFTaskAppDelegate::restoreBackup);
    connect(o.stopAction, &QAction::triggered, controller, &MFTaskAppDelegate::stop);
    connect(o.preferencesAction, &QAction::triggered, m_preferences, &PreferencesSheet::preferencesSelected);
    connect(o.notificationSettingsAction, &QAction::triggered, this,
            [this] { HelpLinks::configureNotificationsInSystemPreferencesClicked(&m_window); });
    connect(o.helpAction, &QAction::triggered, this, [this] { HelpLinks::menuOpenHelp(&m_window); });
    connect(o.helpButton, &QToolButton::clicked, this, [this] { HelpLinks::clickedSnapshotsHelp(&m_window); });
    connect(o.optionsButton, &QPushButton::clicked, m_options, &OptionsSheet::configButtonClicked);
    connect(o.quitAction, &QAction::triggered, this, &MainWindowView::terminateApplication);
    connect(panel->addToScheduleButton(), &QPushButton::clicked, controller, &MFTaskAppDelegate::addToScheduleClicked);
    connect(panel->oldSnapshotsButton(), &QPushButton::clicked, this, &MainWindowView::chooseRetention);
    connect(panel->removeFromScheduleButton(), &QPushButton::clicked, this, &MainWindowView::confirmRemoveFromSchedule);
    connect(panel->addExclusionButton(), &QPushButton::clicked, m_exclusions.get(),
            &ExcludeFilesTableView::addToExcludedFilesClicked);
    connect(panel->removeExclusionButton(), &QPushButton::clicked, m_exclusions.get(),
            &ExcludeFilesTableView::deleteSelectedRow);
    for (QTableView *table : {panel->backupsSchedulerTableView(), panel->excludeFilesTable()}) {
        auto *erase = new QShortcut(QKeySequence::Delete, table, nullptr, nullptr, Qt::WidgetShortcut);
        if (table == panel->excludeFilesTable())
            connect(erase, &QShortcut::activated, m_exclusions.get(), &ExcludeFilesTableView::deleteSelectedRow);
        else
            connect(erase, &QShortcut::activated, this, &MainWindowView::confirmRemoveFromSchedule);
    }
    // The remove buttons act on a selection: offered only when there is one.
    const auto followSelection = [](QTableView *table, QPushButton *remove) {
        remove->setEnabled(false);
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, remove,
                [table, remove] { remove->setEnabled(table->selectionModel()->hasSelection()); });
        connect(table->model(), &QAbstractItemModel::modelReset, remove,
                [table, remove] { remove->setEnabled(table->selectionModel()->hasSelection()); });
    };
    followSelection(panel->backupsSchedulerTableView(), panel->removeFromScheduleButton());
    followSelection(panel->excludeFilesTable(), panel->removeExclusionButton());
    // The link label follows the mode: only Snapshot runs link.
    connect(o.modeRows, &QButtonGroup::idToggled, controller, [controller](int, bool checked) {
        if (checked)
            controller->handleLinkDest();
    });
    connect(panel->snapshotsCopiesBox(), &QLineEdit::editingFinished, this, &MainWindowView::snapshotsCountEdited);
    m_window.shouldClose = [controller] { return controller->applicationShouldTerminate(); };
}

void MainWindowView::snapshotsCountEdited()
{
    // The count shown is the count the next run keeps, as after loading a job.
    const std::optional<QVariant> count = ScheduleEntry::snapshotsToKeepFromText(snapshotsToKeepText());
    if (!count)
        return;
    const JobRecord record{{JobKey::snapshotsToKeep, *count}};
    m_controller->snapshotsToKeep
        = int(std::min<qint64>(JobLoader::loadedJobFromRecord(record).snapshotLimit, std::numeric_limits<int>::max()));
}

// --- Schedule entry controls ---------------------------------------------------

bool MainWindowView::isScheduledDaySelected(int segment) const
{
    return segment >= 0 && segment < 7 && outlets().schedulingView->daySegment(segment)->isChecked();
}

void MainWindowView::setScheduledDaySelected(int segment, bool selected)
{
    if (segment >= 0 && segment < 7)
        outlets().schedulingView->daySegment(segment)->setChecked(selected);
}

QTime MainWindowView::scheduledTime() const
{
    return outlets().schedulingView->timeToRunScheduler()->time();
}

void MainWindowView::setScheduledTime(const QTime &time)
{
    outlets().schedulingView->timeToRunScheduler()->setTime(time);
}

QString MainWindowView::snapshotsToKeepText() const
{
    return outlets().schedulingView->snapshotsCopiesBox()->text();
}

void MainWindowView::setSnapshotsToKeepText(const QString &text)
{
    outlets().schedulingView->snapshotsCopiesBox()->setText(text);
}

void MainWindowView::reloadScheduleTable()
{
    if (m_scheduleList)
        m_scheduleList->reloadData();
}

// --- Job shown in the window ---------------------------------------------------

void MainWindowView::showSourceIcon(const QString &path)
{
    m_pickers->showIcon(true, path);
}

void MainWindowView::setSourceDisplayName(const QString &name)
{
    m_pickers->showDisplayName(true, name);
}

void MainWindowView::showDestIcon(const QString &path)
{
    m_pickers->showIcon(false, path);
}

void MainWindowView::setDestDisplayName(const QString &name)
{
    m_pickers->showDisplayName(false, name);
}

void MainWindowView::selectDuplicateOrHardlinksRow(int row)
{
    (row == 1 ? outlets().snapshotRow : outlets().syncRow)->setChecked(true);
}

void MainWindowView::setDelegateExcludedFiles(const QStringList &)
{
    // The controller has adopted the list; the table edits that same list.
    m_exclusions->setDelegateExcludedFiles(&m_controller->excludedFiles);
}

void MainWindowView::setStartButtonEnabled(bool enabled)
{
    outlets().startButton->setEnabled(enabled);
}

void MainWindowView::setAddToScheduleButtonEnabled(bool enabled)
{
    outlets().schedulingView->addToScheduleButton()->setEnabled(enabled);
}

void MainWindowView::repopulateMountedVolumesMenu_Dest(bool leaveSelection)
{
    m_pickers->repopulateMountedVolumesMenu_Dest(leaveSelection);
}

void MainWindowView::repopulateMountedVolumesMenu(bool leaveSelection)
{
    m_pickers->repopulateMountedVolumesMenu(leaveSelection);
}

// The rule for the job's old snapshots, chosen over a preview of what it
// keeps; a scheduled job is saved with it at once.
void MainWindowView::chooseRetention()
{
    MFTaskAppDelegate *controller = m_controller;
    const QString source = controller->backupSources.value(0);
    const QString dest = controller->backupDest;
    const JobRecord *saved = m_schedule.matchingDictionaryForSourceAndDestExists(source, dest);
    const std::optional<ThinningPolicy> current = controller->thinning ? controller->thinning->policy
        : saved                                                        ? JobRecords::thinning(*saved)
                                                                       : std::nullopt;
    const bool scheduled = saved != nullptr;
    const qint64 count = ScheduleEntry::snapshotsToKeepFromText(snapshotsToKeepText()).value_or(0).toLongLong();
    SharedSchedule &schedule = m_schedule;
    RetentionDialog dialog(
        count, current,
        [&schedule, source, dest](const RetentionRule &rule) {
            if (source.isEmpty() || dest.isEmpty())
                return QList<SnapshotRotation::PruneEntry>();
            return SnapshotRotation::prunePlanForJob(schedule.sharedParams(), source, dest, rule,
                                                     QDateTime::currentDateTime());
        },
        &m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    controller->thinning = ThinningChoice{dialog.chosenPolicy()};
    // The record may have been re-read meanwhile; the save finds it again.
    if (scheduled)
        controller->addToScheduleClicked();
}

void MainWindowView::confirmRemoveFromSchedule()
{
    QTableView *table = m_scheduleList->tableView();
    const qsizetype count = table ? table->selectionModel()->selectedRows().size() : 0;
    if (count == 0)
        return;
    // A job taken off the schedule loses its run dates and its settings.
    const QuestionSheet question{QStringLiteral("removeFromScheduleQuestion"),
                                 count == 1
                                     ? QStringLiteral("Remove the selected job from the schedule?")
                                     : QStringLiteral("Remove the %1 selected jobs from the schedule?").arg(count),
                                 QStringLiteral("Its backups stay on the destination; it no longer runs by itself."),
                                 QStringLiteral("Remove"), QMessageBox::DestructiveRole};
    question.open(&m_window, this, [this](bool remove) {
        if (remove)
            m_scheduleList->deleteSelectedRow();
    });
}
