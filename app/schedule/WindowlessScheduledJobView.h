#pragma once

// The schedule editor's controls for a front end without a window (the
// terminal, the tests): every control is a plain field that holds what was
// last written, and the calls that only redraw (icons, menus, the schedule
// table) are counted or recorded. Use it alone as a ScheduledJobView, or as
// the base of a wider windowless view: WindowlessScheduledJobView<MFTaskAppView>.

#include "ScheduledJobView.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>

template<typename View = ScheduledJobView>
class WindowlessScheduledJobView : public View
{
public:
    // Weekday segments (0 Monday), time of day, the count box and the mode row.
    std::array<bool, 7> days{};
    QTime time{12, 0};
    QString snapshotsText = QStringLiteral("99");
    int modeRow = 0;
    // The start button's title, "Backup" while idle.
    QString title = QStringLiteral("Backup");
    QString sourceIcon, sourceName, destIcon, destName;
    QStringList excludedFiles;
    bool startButtonEnabled = true;
    bool addToScheduleButtonEnabled = true;
    // "source" or "dest", with ", leave" when the selection was kept.
    QStringList menuRebuilds;
    int scheduleTableReloads = 0;

    bool isScheduledDaySelected(int segment) const override { return days[segment]; }
    void setScheduledDaySelected(int segment, bool selected) override { days[segment] = selected; }
    QTime scheduledTime() const override { return time; }
    void setScheduledTime(const QTime &value) override { time = value; }
    QString snapshotsToKeepText() const override { return snapshotsText; }
    void setSnapshotsToKeepText(const QString &text) override { snapshotsText = text; }
    int duplicateOrHardlinksSelectedRow() const override { return modeRow; }
    void reloadScheduleTable() override { ++scheduleTableReloads; }

    void showSourceIcon(const QString &path) override { sourceIcon = path; }
    void setSourceDisplayName(const QString &name) override { sourceName = name; }
    void showDestIcon(const QString &path) override { destIcon = path; }
    void setDestDisplayName(const QString &name) override { destName = name; }
    void selectDuplicateOrHardlinksRow(int row) override { modeRow = row; }
    void setDelegateExcludedFiles(const QStringList &files) override { excludedFiles = files; }
    void setStartButtonEnabled(bool enabled) override { startButtonEnabled = enabled; }
    void setAddToScheduleButtonEnabled(bool enabled) override { addToScheduleButtonEnabled = enabled; }
    void repopulateMountedVolumesMenu_Dest(bool leaveSelection) override
    {
        menuRebuilds.append(leaveSelection ? QStringLiteral("dest, leave") : QStringLiteral("dest"));
    }
    void repopulateMountedVolumesMenu(bool leaveSelection) override
    {
        menuRebuilds.append(leaveSelection ? QStringLiteral("source, leave") : QStringLiteral("source"));
    }
};
