#pragma once

// The part of the main window that showing a scheduled job writes: the
// schedule entry controls (weekdays, time, snapshot count, mode) plus the
// source and destination buttons and names, the exclusion list, the start
// and add-to-schedule buttons and the two volume menus. The controller's
// view interface inherits this; tests implement it with a fake.
// Callers may rely on every call being made from the main thread.

#include "ScheduleEntryView.h"

#include <QString>
#include <QStringList>

class ScheduledJobView : public ScheduleEntryView
{
public:
    // The workspace icon of the path (116 by 116 points) on the button.
    virtual void showSourceIcon(const QString &path) = 0;
    virtual void setSourceDisplayName(const QString &name) = 0;
    virtual void showDestIcon(const QString &path) = 0;
    virtual void setDestDisplayName(const QString &name) = 0;

    // duplicateOrHardlinks: selects row 0 (Sync) or 1 (Snapshot).
    virtual void selectDuplicateOrHardlinksRow(int row) = 0;

    // Hands the list to the exclusion list and reloads its table.
    virtual void setDelegateExcludedFiles(const QStringList &excludedFiles) = 0;

    virtual void setStartButtonEnabled(bool enabled) = 0;
    virtual void setAddToScheduleButtonEnabled(bool enabled) = 0;

    // Rebuild the destination and source volume menus.
    virtual void repopulateMountedVolumesMenu_Dest(bool leaveSelection) = 0;
    virtual void repopulateMountedVolumesMenu(bool leaveSelection) = 0;
};
