#pragma once

// What the agent tells the user about scheduled jobs, on the desktop:
//  - a due run it could not report: "Scheduled backup postponed: Backup
//    Disk is not connected", at most once per job and calendar day, and
//    withdrawn once the job is reported (its disk has appeared);
//  - a job overdue (JobHealth): "No backup of Pictures for 9 days", one
//    reminder per job and calendar day, which opens the window when clicked.
//
// What callers may rely on: nothing is shown without a notice board; the
// days are the local calendar days of the clock's now.

#include "CheckReport.h"
#include "JobHealth.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class Clock;
class NoticeBoard;

class AgentNotices final : public QObject
{
    Q_OBJECT
public:
    AgentNotices(NoticeBoard *board, const Clock &clock, QObject *parent = nullptr);

    // After each due job of a check: a skip is told, a report withdraws it.
    void dueJobChecked(const DueResult &result);
    // After each check, for every saved job and how it stands.
    void jobChecked(const JobRecord &record, const JobHealth &health);

    // "No backup of Pictures for 9 days".
    static QString overdueText(const QString &sourcePath, const QDateTime &since, const QDateTime &now);

Q_SIGNALS:
    // An overdue reminder was clicked: open the window on the job.
    void openJobRequested(const QString &sourcePath, const QString &destPath);

private:
    // True the first time on the clock's day for `key`.
    bool firstToday(QHash<QString, QDate> &told, const QString &key);

    NoticeBoard *m_board;
    const Clock &m_clock;
    QHash<QString, QDate> m_postponed;
    QHash<QString, QDate> m_overdue;
};
