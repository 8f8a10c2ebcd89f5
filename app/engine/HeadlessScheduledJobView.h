#pragma once

// The schedule controls of the controller's view for a front end without a
// window (the terminal, the tests): weekdays, time, snapshot count and mode
// are plain fields; icons, names, menus and tables have nothing to show.
// Use it as the base of an MFTaskAppView: class V : public
// HeadlessScheduledJobView<MFTaskAppView>.

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>

template<typename View>
class HeadlessScheduledJobView : public View
{
public:
    // Weekday segments (0 Monday), time of day, the count box and the mode row.
    std::array<bool, 7> days{};
    QTime time{12, 0};
    QString snapshotsText = QStringLiteral("99");
    int modeRow = 0;

    int selectedModeRow() const override { return modeRow; }
    bool isScheduledDaySelected(int segment) const override { return days[segment]; }
    void setScheduledDaySelected(int segment, bool selected) override { days[segment] = selected; }
    QTime scheduledTime() const override { return time; }
    void setScheduledTime(const QTime &value) override { time = value; }
    QString snapshotsToKeepText() const override { return snapshotsText; }
    void setSnapshotsToKeepText(const QString &text) override { snapshotsText = text; }
    void selectDuplicateOrHardlinksRow(int row) override { modeRow = row; }
    void reloadScheduleTable() override {}
    void showSourceIcon(const QString &) override {}
    void setSourceDisplayName(const QString &) override {}
    void showDestIcon(const QString &) override {}
    void setDestDisplayName(const QString &) override {}
    void setDelegateExcludedFiles(const QStringList &) override {}
    void setStartButtonEnabled(bool) override {}
    void setAddToScheduleButtonEnabled(bool) override {}
    void repopulateMountedVolumesMenu_Dest(bool) override {}
    void repopulateMountedVolumesMenu(bool) override {}
};
