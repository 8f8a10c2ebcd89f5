#include "JobLoader.h"

#include "DisplayName.h"
#include "RunDates.h"
#include "ScheduledJobView.h"

#include <cmath>
#include <limits>

namespace JobLoader {

QString snapshotsToKeepText(const QVariant &snapshotsToKeep)
{
    if (snapshotsToKeep.typeId() == QMetaType::Double)
        return QString::number(snapshotsToKeep.toDouble(), 'g', 15);
    return QString::number(snapshotsToKeep.toLongLong());
}

LoadedJob loadedJobFromRecord(const JobRecord &record)
{
    LoadedJob job;
    job.sourcePath = JobRecords::sourcePath(record);
    job.destPath = JobRecords::destPath(record);
    job.excludedFiles = JobRecords::excludedFiles(record);
    job.snapshotsToKeep = JobRecords::snapshotsToKeep(record);
    job.thinning = JobRecords::thinning(record);
    if (job.snapshotsToKeep.typeId() == QMetaType::Double) {
        const double value = job.snapshotsToKeep.toDouble();
        if (value > 0 && value < double(std::numeric_limits<qint64>::max()))
            job.snapshotLimit = qint64(std::ceil(value));
    } else {
        job.snapshotLimit = std::max<qint64>(0, job.snapshotsToKeep.toLongLong());
    }
    return job;
}

bool loadUIFromDictionary(const JobRecord &record, ScheduledJobView &view, ScheduledJobHolder &holder,
                          const QLocale &locale)
{
    if (!holder.isIdle())
        return false;

    const LoadedJob job = loadedJobFromRecord(record);
    holder.adoptScheduledJob(job);

    view.setSnapshotsToKeepText(snapshotsToKeepText(job.snapshotsToKeep));
    view.showSourceIcon(job.sourcePath);
    view.setSourceDisplayName(displayNameForPath(job.sourcePath));
    view.showDestIcon(job.destPath);
    view.setDestDisplayName(displayNameForPath(job.destPath));
    view.selectDuplicateOrHardlinksRow(JobRecords::hardlinks(record) ? 1 : 0);

    for (int segment = 0; segment < 7; ++segment)
        view.setScheduledDaySelected(segment, false);
    const QStringList dates = JobRecords::scheduledDates(record);
    for (const QString &text : dates) {
        if (const std::optional<RunDate> date = parseRunDate(text, locale)) {
            const int calendarWeekday = date->date.dayOfWeek() % 7 + 1;
            view.setScheduledDaySelected(controlWeekDayForCalendarWeekDay(calendarWeekday), true);
        }
    }
    if (!dates.isEmpty()) {
        if (const std::optional<RunDate> first = parseRunDate(dates.constFirst(), locale))
            view.setScheduledTime(first->time);
    }

    view.setDelegateExcludedFiles(job.excludedFiles);
    if (!job.sourcePath.isEmpty() && !job.destPath.isEmpty()) {
        view.setStartButtonEnabled(true);
        view.setAddToScheduleButtonEnabled(true);
    }
    holder.handleLinkDest();
    view.repopulateMountedVolumesMenu_Dest(false);
    view.repopulateMountedVolumesMenu(false);
    return true;
}

} // namespace JobLoader
