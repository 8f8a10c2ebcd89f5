#pragma once

// The window's line about the job on screen: "Last backup: 2 hours ago", the
// last attempt when it went otherwise, and "Next: tomorrow at 09:30", with
// the absolute times as its tooltip. Read from the run history and the
// schedule.
//
// With the schedule list's model, each saved job's row says the same in its
// Status column.
//
// What callers may rely on: the texts follow the job on screen and every
// finished run at once, and refresh every minute from the wall clock, so
// they count time spent asleep; a pair with neither history nor a saved
// job shows nothing.

#include "JobHealth.h"

#include <QObject>
#include <QTimer>

class Clock;
class MFTaskAppDelegate;
class QLabel;
class RunHistory;
class ScheduleListModel;
class SharedSchedule;

class JobHealthDisplay final : public QObject
{
    Q_OBJECT
public:
    JobHealthDisplay(QLabel &label, MFTaskAppDelegate &controller, SharedSchedule &schedule, const RunHistory &history,
                     const Clock &clock, ScheduleListModel *list = nullptr, QObject *parent = nullptr);

    void refresh();

private:
    // The label's text and the tooltip with the absolute times.
    std::pair<QString, QString> textsFor(const JobHealth &health, const QDateTime &now) const;

    QLabel &m_label;
    MFTaskAppDelegate &m_controller;
    SharedSchedule &m_schedule;
    const RunHistory &m_history;
    const Clock &m_clock;
    ScheduleListModel *m_list;
    QList<RunRecord> m_records; // the history as of the last refresh
    QTimer m_minute;
};
