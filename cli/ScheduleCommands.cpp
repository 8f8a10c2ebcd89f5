#include "ScheduleCommands.h"

#include "VolumePresence.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "JobLoader.h"
#include "RunDates.h"
#include "ScheduleEntry.h"
#include "ScheduleListColumns.h"
#include "SupportFolder.h"
#include "TerminalView.h"
#include "TextColumns.h"

#include <QFileInfo>

#include <cstdio>

// The schedule as the application keeps it: read once from the support
// folder; every save rewrites the file and tells the agent.
std::unique_ptr<SharedSchedule> loadSchedule()
{
    auto schedule = std::make_unique<SharedSchedule>(ScheduleFile(scheduleFilePath(), Clock::system()),
                                                     DistributedNotificationCenter::defaultCenter());
    schedule->loadFromFileIfEmpty();
    return schedule;
}

// The pair's stored link destination when it still exists, for a job saved
// again from the terminal (as the window keeps it when the job is loaded).
std::optional<QString> existingLinkDest(SharedSchedule &schedule, const QString &source, const QString &dest)
{
    const JobRecord *record = schedule.matchingDictionaryForSourceAndDestExists(source, dest);
    const QString linkDest = record ? JobRecords::linkDest(*record) : QString();
    if (linkDest.isEmpty() || !QFileInfo::exists(linkDest))
        return std::nullopt;
    return linkDest;
}

// Shows the pair's saved weekdays, time and count in the view, so a save
// after a terminal run keeps the job's schedule as it was.
void showSavedSchedule(TerminalView &view, const JobRecord &record)
{
    view.days = {};
    const QStringList dates = JobRecords::scheduledDates(record);
    for (const QString &text : dates) {
        if (const std::optional<RunDate> date = parseRunDate(text)) {
            view.days[controlWeekDayForCalendarWeekDay(date->date.dayOfWeek() % 7 + 1)] = true;
            if (text == dates.constFirst())
                view.time = date->time;
        }
    }
    view.snapshotsText = JobLoader::snapshotsToKeepText(JobRecords::snapshotsToKeep(record));
}

int listSchedule()
{
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    if (schedule->count() == 0) {
        std::printf("No scheduled jobs.\n");
        return 0;
    }
    const QStringList header{QStringLiteral("Source"), QStringLiteral("Destination"), QStringLiteral("Days"),
                             QStringLiteral("Type"), QStringLiteral("Time")};
    QList<QStringList> rows{header};
    for (const JobRecord &record : schedule->sharedParams())
        rows.append({ScheduleListColumns::sourceText(record), ScheduleListColumns::destinationText(record),
                     ScheduleListColumns::daysText(record).trimmed(), ScheduleListColumns::typeText(record),
                     ScheduleListColumns::timeText(record).value_or(QString())});
    printColumns(rows);
    return 0;
}

int scheduleJob(const CliJob &job)
{
    // A job whose destination folder is missing would count as absent at
    // every check and never run: the folder is made now, or the job refused.
    const ScheduleEntry::DestinationResult folder = ScheduleEntry::prepareDestinationFolder(
        job.destination, [](const QString &path) { return volumeIsMounted(path); });
    if (folder.state == ScheduleEntry::DestinationFolder::CannotCreate) {
        std::fprintf(stderr, "vellumor-cli: the job was not scheduled: %s\n", qPrintable(folder.error));
        return 1;
    }
    if (folder.state == ScheduleEntry::DestinationFolder::OnAbsentVolume)
        std::fprintf(stderr, "vellumor-cli: %s is on a disk that is not attached; the job runs once it is\n",
                     qPrintable(job.destination));
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    TerminalView view(stdout, stderr, false);
    view.setModeRow(job.snapshot ? 1 : 0);
    view.days = job.days;
    view.time = job.time;
    const JobRecord *existing
        = schedule->matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination);
    view.snapshotsText = job.snapshotsToKeepGiven ? QString::number(job.snapshotsToKeep)
        : existing ? JobLoader::snapshotsToKeepText(JobRecords::snapshotsToKeep(*existing))
                   : QString::number(DefaultSnapshotsToKeep);
    ScheduledJobSettings settings;
    settings.backupSources = job.sources;
    settings.backupDest = job.destination;
    settings.excludedFiles = job.excludedFiles;
    if (job.thinning || job.snapshotsToKeepGiven)
        settings.thinning = ThinningChoice{job.thinning};
    // A Snapshot job keeps its chain: the next run links against the last snapshot.
    if (job.snapshot)
        settings.linkDest = existingLinkDest(*schedule, job.sources.first(), job.destination);
    ScheduleEntry entry(*schedule, Clock::system());
    const ScheduleSaveResult result = entry.addToScheduleClicked(view, settings);
    if (!result.fileWritten) {
        std::fprintf(stderr, "vellumor-cli: the schedule was not saved: %s\n", qPrintable(result.error));
        return 1;
    }
    const JobRecord *saved = schedule->matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination);
    std::printf("Scheduled %s to %s: %s, %s at %s\n", qPrintable(job.sources.first()), qPrintable(job.destination),
                qPrintable(ScheduleListColumns::typeText(*saved)),
                qPrintable(ScheduleListColumns::daysText(*saved).trimmed()),
                qPrintable(ScheduleListColumns::timeText(*saved).value_or(QString())));
    return 0;
}
