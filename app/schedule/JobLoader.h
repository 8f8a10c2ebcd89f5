#pragma once

// Showing a scheduled job in the main window and making it the controller's
// current job (loadUIFromDictionary), for dispatch and for a double click in
// the schedule list.
//
// What callers may rely on:
//  - while a run is in progress (the holder is not idle) nothing changes;
//  - otherwise the controller first adopts the job's source, destination,
//    exclusions and snapshot count, the window then shows them, and only
//    after the mode row is selected is the link destination chosen
//    (handleLinkDest), so it matches the loaded pair;
//  - a record is never trusted: missing or wrongly typed keys read as their
//    defaults (99 snapshots, no dates, no exclusions), run dates that do not
//    parse are skipped, and an empty "scheduledDates" leaves the time picker
//    as it was.

#include "JobRecord.h"

#include <QLocale>
#include <QString>
#include <QStringList>

class ScheduledJobView;

// The job settings that loading a record replaces in the controller.
struct LoadedJob
{
    QString sourcePath;
    QString destPath;
    QStringList excludedFiles;
    // The number to keep as stored (integer or real) and as a whole-number
    // limit for rotation: a fraction rounds up, so "at least 2.5 snapshots"
    // means three; 0 or less (or not a number) turns rotation off.
    QVariant snapshotsToKeep;
    qint64 snapshotLimit = 0;
    std::optional<ThinningPolicy> thinning;
};

// The controller's side of loading.
class ScheduledJobHolder
{
public:
    virtual ~ScheduledJobHolder() = default;
    // No run is in progress.
    virtual bool isIdle() const = 0;
    // backupSources = {sourcePath}, backupDest, excludedFiles and
    // snapshotsToKeep; the output reader's sourcePath.
    virtual void adoptScheduledJob(const LoadedJob &job) = 0;
    // Chooses the link destination for the adopted job and shows it.
    virtual void handleLinkDest() = 0;
};

namespace JobLoader {

// The settings a record holds, read defensively.
LoadedJob loadedJobFromRecord(const JobRecord &record);

// The snapshot count as the box shows it: plain decimal text.
QString snapshotsToKeepText(const QVariant &snapshotsToKeep);

// Returns false when a run is in progress and nothing was loaded.
bool loadUIFromDictionary(const JobRecord &record, ScheduledJobView &view, ScheduledJobHolder &holder,
                          const QLocale &locale = QLocale());

} // namespace JobLoader
