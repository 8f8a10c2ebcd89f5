#include "ScheduleScan.h"

#include "RunDates.h"

ScheduleScan scanSchedule(const QList<JobRecord> &records, const QDateTime &now, const QLocale &locale)
{
    ScheduleScan scan;
    const QTimeZone zone = now.timeZone();
    for (qsizetype index = 0; index < records.size(); ++index) {
        const QStringList entries = JobRecords::scheduledDates(records[index]);
        for (const QString &entry : entries) {
            const std::optional<RunDate> runDate = parseRunDate(entry, locale);
            if (!runDate) {
                scan.unparsable.append(entry);
                continue;
            }
            ScheduledRun run{index, entry, runDateMoment(*runDate, zone)};
            if (run.moment < now)
                scan.due.append(std::move(run));
            else if (!scan.earliestFuture || run.moment < scan.earliestFuture->moment)
                scan.earliestFuture = std::move(run);
        }
    }
    return scan;
}
