#include "ScheduleEntry.h"

#include "Clock.h"
#include "LocalNotificationCenter.h"
#include "RunDates.h"
#include "ScheduleEntryView.h"
#include "SharedSchedule.h"

#include <QDir>
#include <QFileInfo>

#include <array>
#include <cmath>

ScheduleEntry::ScheduleEntry(SharedSchedule &schedule, const Clock &clock, const QLocale &locale)
    : m_schedule(schedule)
    , m_clock(clock)
    , m_locale(locale)
{}

std::optional<QVariant> ScheduleEntry::snapshotsToKeepFromText(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (const QLocale &reader : {locale, QLocale::c()}) {
        bool ok = false;
        const qlonglong integer = reader.toLongLong(trimmed, &ok);
        if (ok)
            return QVariant(integer);
        const double real = reader.toDouble(trimmed, &ok);
        if (ok && std::isfinite(real))
            return QVariant(real);
    }
    return std::nullopt;
}

ScheduleSaveResult ScheduleEntry::addToScheduleClicked(ScheduleEntryView &view, const ScheduledJobSettings &job)
{
    ScheduleSaveResult result;
    if (job.backupDest.isEmpty() || job.backupSources.isEmpty() || job.backupSources.constFirst().isEmpty())
        return result;

    BackupParameters parameters;
    parameters.sourcePath = job.backupSources.constFirst();
    parameters.destPath = job.backupDest;
    parameters.hardlinks = view.duplicateOrHardlinksSelectedRow() == 1;
    parameters.linkDest = job.linkDest;
    parameters.excludedFiles = job.excludedFiles;
    if (job.thinning) {
        parameters.thinning = job.thinning->policy;
    } else if (const JobRecord *existing
               = m_schedule.matchingDictionaryForSourceAndDestExists(parameters.sourcePath, parameters.destPath)) {
        parameters.thinning = JobRecords::thinning(*existing);
    }

    if (const std::optional<QVariant> count = snapshotsToKeepFromText(view.snapshotsToKeepText(), m_locale)) {
        parameters.snapshotsToKeep = *count;
    } else {
        // A record needs a count; keep what the pair had rather than lose the
        // save (which also carries a finished run's link destination).
        result.snapshotCountWasInvalid = true;
        const JobRecord *existing
            = m_schedule.matchingDictionaryForSourceAndDestExists(parameters.sourcePath, parameters.destPath);
        parameters.snapshotsToKeep
            = existing ? JobRecords::snapshotsToKeep(*existing) : QVariant(qlonglong(DefaultSnapshotsToKeep));
        qWarning("The number of snapshots to keep \"%s\" is not a number; saved %s instead",
                 qPrintable(view.snapshotsToKeepText()), qPrintable(parameters.snapshotsToKeep.toString()));
    }

    std::array<bool, 7> selected{};
    for (int segment = 0; segment < 7; ++segment)
        selected[segment] = view.isScheduledDaySelected(segment);
    const QTime time = view.scheduledTime();
    parameters.scheduledDates = scheduledDatesForSegments(selected, time.isValid() ? time.hour() : 0,
                                                          time.isValid() ? time.minute() : 0, m_clock.now(), m_locale);

    result.saved = true;
    result.fileWritten = m_schedule.updateSharedArrayAndWriteToFile(&parameters);
    if (!result.fileWritten)
        result.error = m_schedule.lastError();
    view.reloadScheduleTable();
    return result;
}

std::optional<ScheduleSaveResult> ScheduleEntry::updateScheduleParametersIfExists(ScheduleEntryView &view,
                                                                                  const ScheduledJobSettings &job)
{
    if (job.backupSources.isEmpty()
        || m_schedule.indexOfMatchingRecord(job.backupSources.constFirst(), job.backupDest) < 0)
        return std::nullopt;
    return addToScheduleClicked(view, job);
}

bool ScheduleEntry::scheduledBackupsDidChange(SharedSchedule &schedule)
{
    const bool written = schedule.updateSharedArrayAndWriteToFile();
    if (!written)
        qWarning("The schedule could not be saved: %s", qPrintable(schedule.lastError()));
    return written;
}

void ScheduleEntry::observeScheduledBackupsDidChange(SharedSchedule &schedule, QObject *context)
{
    LocalNotificationCenter::defaultCenter().addObserver(
        scheduledBackupsDidChangeName(), context,
        [&schedule](const LocalNotification &) { scheduledBackupsDidChange(schedule); });
}

ScheduleEntry::DestinationResult
ScheduleEntry::prepareDestinationFolder(const QString &destination,
                                        const std::function<bool(const QString &)> &volumeIsMounted)
{
    const QFileInfo info(destination);
    if (info.isDir())
        return {DestinationFolder::Exists, QString()};
    if (info.exists())
        return {DestinationFolder::CannotCreate, QStringLiteral("%1 is not a folder").arg(destination)};
    // The nearest folder that exists tells which disk the destination is on.
    QString ancestor = QDir::cleanPath(destination);
    while (!QFileInfo::exists(ancestor) && ancestor != u"/")
        ancestor = QFileInfo(ancestor).path();
    if (!volumeIsMounted(ancestor))
        return {DestinationFolder::OnAbsentVolume, QString()};
    if (!QDir().mkpath(destination))
        return {DestinationFolder::CannotCreate, QStringLiteral("cannot create the folder %1").arg(destination)};
    return {DestinationFolder::Created, QString()};
}
