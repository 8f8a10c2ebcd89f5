#pragma once

// The part of the main window that schedule entry reads and writes: the
// seven weekday segments (0 Monday ... 6 Sunday), the time picker, the
// snapshot-count box, the mode choice and the schedule list. The
// controller's view interface inherits this; tests implement it with a fake.
// Callers may rely on every call being made from the main thread.

#include <QString>
#include <QTime>

class ScheduleEntryView
{
public:
    virtual ~ScheduleEntryView() = default;

    // daysToRunScheduler: whether segment 0..6 is selected.
    virtual bool isScheduledDaySelected(int segment) const = 0;
    virtual void setScheduledDaySelected(int segment, bool selected) = 0;

    // timeToRunScheduler: only hour and minute count.
    virtual QTime scheduledTime() const = 0;
    virtual void setScheduledTime(const QTime &time) = 0;

    // snapshotsCopiesBox: the text as typed.
    virtual QString snapshotsToKeepText() const = 0;
    virtual void setSnapshotsToKeepText(const QString &text) = 0;

    // duplicateOrHardlinks: row 1 is Snapshot mode, any other row Sync.
    virtual int duplicateOrHardlinksSelectedRow() const = 0;

    // The schedule list shows the saved records again.
    virtual void reloadScheduleTable() = 0;
};
