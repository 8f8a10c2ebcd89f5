#pragma once

// The agent's record of scheduled runs it could not report: one "skipped"
// record in the run history per job and due date, with the reason, however
// many checks find the job skipped (after a mount the agent checks five
// times in twenty seconds).
//
// What callers may rely on: nothing is written without a history; a job
// that is reported again may be recorded as skipped again at its next due
// date.

#include "CheckReport.h"

#include <QDateTime>
#include <QSet>
#include <QString>

class RunHistory;

class SkipRecorder
{
public:
    explicit SkipRecorder(const RunHistory *history) : m_history(history) {}

    // Records a skipped `result` (a Reported one is ignored) at `now`;
    // true when a record was written.
    bool recordSkip(const DueResult &result, const QDateTime &now);

    // "Backup Disk is not connected", "the computer is on battery power".
    static QString reasonText(const DueResult &result);

private:
    const RunHistory *m_history;
    QSet<QString> m_recorded; // job and due date
};
