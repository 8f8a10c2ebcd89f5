#include "JobHealth.h"

#include "RunDates.h"

#include <algorithm>
#include <set>

bool JobHealth::lastAttemptFailed() const
{
    return lastAttempt
        && (lastAttempt->outcome == RunRecord::Outcome::Failed
            || lastAttempt->outcome == RunRecord::Outcome::OutOfSpace);
}

namespace JobHealths {

std::optional<qint64> overdueAfterSeconds(const JobRecord &record)
{
    std::set<int> weekdays;
    for (const QString &text : JobRecords::scheduledDates(record))
        if (const std::optional<RunDate> date = parseRunDate(text))
            weekdays.insert(date->date.dayOfWeek());
    constexpr qint64 day = 24 * 3600;
    if (weekdays.empty())
        return std::nullopt;
    if (weekdays.size() == 1)
        return 7 * day;
    int longestGap = 0;
    for (auto it = weekdays.cbegin(); it != weekdays.cend(); ++it) {
        const auto next = std::next(it);
        const int gap = next == weekdays.cend() ? *weekdays.cbegin() + 7 - *it : *next - *it;
        longestGap = std::max(longestGap, gap);
    }
    return 3 * longestGap * day;
}

QDateTime nextRun(const JobRecord &record, const QDateTime &now)
{
    QDateTime earliest;
    for (const QString &text : JobRecords::scheduledDates(record)) {
        const std::optional<RunDate> date = parseRunDate(text);
        if (!date)
            continue;
        const QDateTime moment = runDateMoment(*date, now.timeZone());
        if (!earliest.isValid() || moment < earliest)
            earliest = moment;
    }
    return earliest;
}

JobHealth healthOf(const QList<RunRecord> &history, const QString &source, const QString &dest, const JobRecord *record,
                   const QDateTime &now)
{
    JobHealth health;
    QDateTime firstSeen;
    for (const RunRecord &run : history) {
        if (!run.isFor(source, dest))
            continue;
        if (!firstSeen.isValid())
            firstSeen = run.ended;
        health.lastAttempt = run;
        if (run.succeeded())
            health.lastGood = run;
    }
    if (!record)
        return health;
    health.nextRun = nextRun(*record, now);
    const std::optional<qint64> allowed = overdueAfterSeconds(*record);
    const QDateTime since = health.lastGood ? health.lastGood->ended : firstSeen;
    if (allowed && since.isValid() && since.secsTo(now) > *allowed) {
        health.overdue = true;
        health.overdueSince = since;
    }
    return health;
}

} // namespace JobHealths
