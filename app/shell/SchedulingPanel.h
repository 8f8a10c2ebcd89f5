#pragma once

// The scheduling panel of the main window: the seven weekday segments
// (daysToRunScheduler, segment 0 Monday ... 6 Sunday), the time picker
// (timeToRunScheduler), the snapshot-count box (snapshotsCopiesBox), the
// add-to-schedule button, the schedule table with its remove button, and
// the exclusion table with its add and remove buttons. Widgets only: the
// controller's collaborators give them their models and actions.

#include <QWidget>

#include <array>

class QLineEdit;
class QPushButton;
class QTableView;
class QTimeEdit;
class QToolButton;

class SchedulingPanel final : public QWidget
{
    Q_OBJECT
public:
    explicit SchedulingPanel(QWidget *parent = nullptr);

    QToolButton *daySegment(int segment) const { return m_days.at(segment); }
    QTimeEdit *timeToRunScheduler() const { return m_time; }
    QLineEdit *snapshotsCopiesBox() const { return m_snapshots; }
    // Opens the rule for old snapshots (keep the last N, or thin out).
    QPushButton *oldSnapshotsButton() const { return m_oldSnapshots; }
    QPushButton *addToScheduleButton() const { return m_addToSchedule; }
    QTableView *backupsSchedulerTableView() const { return m_scheduleTable; }
    QPushButton *removeFromScheduleButton() const { return m_removeFromSchedule; }
    QTableView *excludeFilesTable() const { return m_excludeTable; }
    QPushButton *addExclusionButton() const { return m_addExclusion; }
    QPushButton *removeExclusionButton() const { return m_removeExclusion; }

    // The weekday names as the segments show them and as read aloud.
    static QString segmentTitle(int segment);
    static QString segmentAccessibleName(int segment);

private:
    QWidget *buildEntryRow();
    QWidget *buildScheduleList();
    QWidget *buildExclusionList();

    std::array<QToolButton *, 7> m_days{};
    QTimeEdit *m_time = nullptr;
    QLineEdit *m_snapshots = nullptr;
    QPushButton *m_oldSnapshots = nullptr;
    QPushButton *m_addToSchedule = nullptr;
    QTableView *m_scheduleTable = nullptr;
    QPushButton *m_removeFromSchedule = nullptr;
    QTableView *m_excludeTable = nullptr;
    QPushButton *m_addExclusion = nullptr;
    QPushButton *m_removeExclusion = nullptr;
};
