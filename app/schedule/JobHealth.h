#pragma once

// How a job stands, from the run history, its record and the clock: its last
// complete backup, its last attempt, its next run and whether it is overdue.
// Pure functions over plain data.
//
// What callers may rely on:
//  - a job is overdue when it has had no complete backup for three times
//    the longest gap between its weekdays, or 7 days for a job of one
//    weekday, counted from its last complete backup or, without one, from
//    its first record in the history; a job that is not scheduled, or has
//    no history, is never overdue;
//  - times are wall-clock times, so time spent asleep counts.

#include "JobRecord.h"
#include "RunHistory.h"

#include <QDateTime>
#include <QList>

#include <optional>

struct JobHealth
{
    std::optional<RunRecord> lastGood;    // the newest complete backup
    std::optional<RunRecord> lastAttempt; // the newest record of any outcome
    QDateTime nextRun;                    // invalid when not scheduled
    bool overdue = false;
    QDateTime overdueSince; // the start of the overdue count, when overdue

    // The newest attempt failed (a stop or a postponed run is no failure).
    bool lastAttemptFailed() const;
    // Something is wrong: overdue, or the last attempt failed.
    bool needsAttention() const { return overdue || lastAttemptFailed(); }
};

namespace JobHealths {

// How long the job may go without a complete backup; none when it is not
// scheduled.
std::optional<qint64> overdueAfterSeconds(const JobRecord &record);
// The earliest of the job's run dates, invalid when it has none.
QDateTime nextRun(const JobRecord &record, const QDateTime &now);
// `record` may be null (a pair known only from the history).
JobHealth healthOf(const QList<RunRecord> &history, const QString &source, const QString &dest, const JobRecord *record,
                   const QDateTime &now);

} // namespace JobHealths
