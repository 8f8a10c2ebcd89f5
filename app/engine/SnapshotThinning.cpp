#include "SnapshotThinning.h"

#include "SnapshotFolders.h"

#include <QSet>

#include <algorithm>
#include <functional>
#include <map>

namespace SnapshotThinning {

namespace {

// A calendar bucket as a sortable number: later buckets are larger.
using BucketOf = std::function<qint64(const QDate &)>;

qint64 dayBucket(const QDate &date)
{
    return date.toJulianDay();
}

qint64 weekBucket(const QDate &date)
{
    int isoYear = 0;
    const int week = date.weekNumber(&isoYear);
    return qint64(isoYear) * 100 + week;
}

qint64 monthBucket(const QDate &date)
{
    return qint64(date.year()) * 100 + date.month();
}

qint64 yearBucket(const QDate &date)
{
    return date.year();
}

// The oldest snapshot of each of the `count` most recent buckets that hold
// one (every bucket for a negative count); `oldestFirst` is sorted.
void keepOldestPerBucket(const QList<DatedSnapshot> &oldestFirst, const BucketOf &bucketOf, int count,
                         QSet<QString> &kept)
{
    std::map<qint64, QString, std::greater<>> oldestOfBucket;
    for (auto it = oldestFirst.crbegin(); it != oldestFirst.crend(); ++it)
        oldestOfBucket[bucketOf(it->date.date())] = it->folder; // the oldest is written last
    int taken = 0;
    for (const auto &[bucket, folder] : oldestOfBucket) {
        if (count >= 0 && taken++ >= count)
            break;
        kept.insert(folder);
    }
}

} // namespace

QStringList snapshotsToKeep(const QList<DatedSnapshot> &snapshots, const ThinningPolicy &policy, const QDateTime &now,
                            const QTimeZone &zone, const QStringList &alwaysKept)
{
    QList<DatedSnapshot> oldestFirst = snapshots;
    std::stable_sort(oldestFirst.begin(), oldestFirst.end(),
                     [](const DatedSnapshot &a, const DatedSnapshot &b) { return a.date < b.date; });
    QSet<QString> kept;
    // Young snapshots by their age in real time: a name's wall-clock time
    // read in the zone, so a change of daylight-saving time counts right.
    const qint64 youngSeconds = qint64(std::max(policy.hours, 1)) * 3600;
    for (const DatedSnapshot &snapshot : std::as_const(oldestFirst)) {
        const QDateTime instant(snapshot.date.date(), snapshot.date.time(), zone);
        if (instant.secsTo(now) < youngSeconds)
            kept.insert(snapshot.folder);
    }
    keepOldestPerBucket(oldestFirst, dayBucket, policy.days, kept);
    keepOldestPerBucket(oldestFirst, weekBucket, policy.weeks, kept);
    keepOldestPerBucket(oldestFirst, monthBucket, policy.months, kept);
    keepOldestPerBucket(oldestFirst, yearBucket, -1, kept);
    if (!oldestFirst.isEmpty())
        kept.insert(oldestFirst.constLast().folder);
    QStringList result;
    for (const DatedSnapshot &snapshot : std::as_const(oldestFirst)) {
        const bool always = std::any_of(alwaysKept.cbegin(), alwaysKept.cend(), [&](const QString &path) {
            return !path.isEmpty() && SnapshotFolders::samePath(path, snapshot.folder);
        });
        if (always || kept.contains(snapshot.folder))
            result << snapshot.folder;
    }
    return result;
}

QStringList snapshotsToRetire(const QStringList &jobSnapshots, const ThinningPolicy &policy, const QDateTime &now,
                              const QTimeZone &zone, const QStringList &alwaysKept)
{
    QList<DatedSnapshot> dated;
    for (const QString &folder : jobSnapshots) {
        if (const std::optional<QDateTime> date = SnapshotFolders::snapshotDate(folder))
            dated.append({folder, *date});
    }
    const QStringList kept = snapshotsToKeep(dated, policy, now, zone, alwaysKept);
    std::stable_sort(dated.begin(), dated.end(),
                     [](const DatedSnapshot &a, const DatedSnapshot &b) { return a.date < b.date; });
    QStringList retire;
    for (const DatedSnapshot &snapshot : std::as_const(dated)) {
        if (!kept.contains(snapshot.folder))
            retire << snapshot.folder;
    }
    return retire;
}

} // namespace SnapshotThinning

QStringList RetentionRule::toRetire(const QStringList &jobSnapshots, const QDateTime &now,
                                    const QStringList &keep) const
{
    if (thinning)
        return SnapshotThinning::snapshotsToRetire(jobSnapshots, *thinning, now, now.timeZone(), keep);
    return SnapshotFolders::snapshotsToRetire(jobSnapshots, snapshotsToKeep, keep);
}
