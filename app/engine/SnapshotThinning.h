#pragma once

// Thinning out a job's snapshots: every snapshot of the last hours, then one
// a day, one a week, one a month and one a year, instead of the newest N.
//
// The rule, exactly: keep every complete snapshot younger than `hours`; for
// each of the `days` most recent calendar days that hold a snapshot, that
// day's oldest; the same for the `weeks` most recent ISO weeks and the
// `months` most recent months, and for every year; plus the newest snapshot
// and the run's link destination. Days, weeks, months and years are local
// calendar ones, read from the snapshots' names. A bucket counts only when
// it holds a snapshot, so time without backups (a week offline) never
// removes history; nothing younger than an hour is thinned; and the rule
// keeps what it kept, so a second pass removes nothing.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include "ThinningPolicy.h"

#include <optional>

struct DatedSnapshot
{
    QString folder;
    QDateTime date; // the wall-clock time its name records
};

namespace SnapshotThinning {

// The snapshots the rule keeps, from `snapshots` (any order), at `now` in
// `zone`; `alwaysKept` (the link destination, the new snapshot) is kept
// when it is among them.
QStringList snapshotsToKeep(const QList<DatedSnapshot> &snapshots, const ThinningPolicy &policy, const QDateTime &now,
                            const QTimeZone &zone, const QStringList &alwaysKept);

// The job's dated snapshot folders the rule removes, oldest first; folders
// whose names hold no date are never among them.
QStringList snapshotsToRetire(const QStringList &jobSnapshots, const ThinningPolicy &policy, const QDateTime &now,
                              const QTimeZone &zone, const QStringList &alwaysKept);

} // namespace SnapshotThinning

// A job's rule for its old snapshots: the newest `snapshotsToKeep` (none
// removed for 0 or less), or, with a thinning policy, that policy.
struct RetentionRule
{
    explicit RetentionRule(qint64 keep = 0, std::optional<ThinningPolicy> thin = std::nullopt)
        : snapshotsToKeep(keep)
        , thinning(thin)
    {}

    qint64 snapshotsToKeep;
    std::optional<ThinningPolicy> thinning;

    // The job's snapshots to remove, oldest first, at `now` (in its time
    // zone); never one of `keep`.
    QStringList toRetire(const QStringList &jobSnapshots, const QDateTime &now, const QStringList &keep) const;
};
