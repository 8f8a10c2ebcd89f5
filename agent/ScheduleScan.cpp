#include "ScheduleScan.h"

#include "RunDateReading.h"

ScheduleScan scanSchedule(const QList<JobRecord> &records, const QDateTime &now, const QLocale &locale)
{
    ScheduleScan scan;
    const QTimeZone zone = now.timeZone();
    const RunDateReader reader(locale);
    RunDateMoments moments(zone);
    // Moments are compared in UTC: a local time converts anew at every use.
    const QDateTime nowUtc = now.toUTC();
    const QDate latestRegularDay = latestRegularRunDay(now);
    for (qsizetype index = 0; index < records.size(); ++index) {
        const QStringList entries = JobRecords::scheduledDates(records[index]);
        for (const QString &entry : entries) {
            const std::optional<RunDate> runDate = reader.read(entry);
            if (!runDate) {
                scan.unparsable.append(entry);
                continue;
            }
            ScheduledRun run{index, entry, moments.moment(*runDate)};
            // A date further ahead than a week was written while the clock
            // was ahead: a missed run, as runDateIsDue() has it.
            if (run.moment < nowUtc || runDate->date > latestRegularDay)
                scan.due.append(std::move(run));
            else if (!scan.earliestFuture || run.moment < scan.earliestFuture->moment)
                scan.earliestFuture = std::move(run);
        }
    }
    for (ScheduledRun &run : scan.due)
        run.moment = run.moment.toTimeZone(zone);
    if (scan.earliestFuture)
        scan.earliestFuture->moment = scan.earliestFuture->moment.toTimeZone(zone);
    return scan;
}
