#pragma once

// What one look at the schedule finds, as a pure function of the records and
// the present moment: the entries that are due and the date the agent must
// wake up for next.
//
// What callers may rely on:
//  - an entry is due when its moment lies strictly before now, or when its
//    date lies more than a week after today (runDateIsDue); any other entry
//    is in the future;
//  - due entries come in file order (records, then their entries), one per
//    past entry, so a job with two missed dates is listed twice;
//  - earliestFuture is the earliest future entry of the whole schedule; of
//    entries at the same moment the first met wins; with no future entry it
//    is empty, and the caller leaves any pending wake-up as it was;
//  - entries that are not run-date text ("EEE-dd-MM-yyyy HH:mm" in the
//    locale) are neither due nor future; they are listed in unparsable.

#include "JobRecord.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

struct ScheduledRun
{
    qsizetype record = -1; // index of the record in the schedule
    QString text;          // the entry as stored
    QDateTime moment;      // in the time zone of now
};

struct ScheduleScan
{
    QList<ScheduledRun> due;
    std::optional<ScheduledRun> earliestFuture;
    QStringList unparsable;
};

ScheduleScan scanSchedule(const QList<JobRecord> &records, const QDateTime &now, const QLocale &locale = QLocale());
