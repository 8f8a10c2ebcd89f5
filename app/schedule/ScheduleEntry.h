#pragma once

// Saving the job the window shows with fresh run dates (the add-to-schedule
// button, the save after a snapshot run) and re-saving it when it is already
// scheduled.
//
// What callers may rely on:
//  - nothing is saved, and nothing shown, without a destination and a first
//    source;
//  - a save replaces the pair's record in its row or appends one, writes the
//    schedule file and posts "SCHEDULECHANGED", then reloads the table;
//  - a snapshot count that is not a number never stops the save (which also
//    records the link destination of a finished snapshot run): the pair's
//    stored count is kept, or 99 for a new record, and the result says so.

#include "JobRecord.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

class Clock;
class QObject;
class ScheduleEntryView;
class SharedSchedule;

// A rule for a job's old snapshots chosen on screen or on the command line:
// a thinning policy, or none for the newest "snapshotsToKeep".
struct ThinningChoice
{
    std::optional<ThinningPolicy> policy;
};

// The controller's job settings that a save reads.
struct ScheduledJobSettings
{
    QStringList backupSources; // only the first is scheduled
    QString backupDest;
    std::optional<QString> linkDest;
    QStringList excludedFiles;
    // The rule for old snapshots chosen for this job; unset keeps the saved
    // record's own (a record saved by another front end keeps its thinning).
    std::optional<ThinningChoice> thinning;
};

struct ScheduleSaveResult
{
    bool saved = false;                   // a record was put into the list
    bool fileWritten = false;             // and the file was written
    bool snapshotCountWasInvalid = false; // the box held no number
    QString error;                        // why the file was not written
};

class ScheduleEntry
{
public:
    ScheduleEntry(SharedSchedule &schedule, const Clock &clock, const QLocale &locale = QLocale());

    ScheduleSaveResult addToScheduleClicked(ScheduleEntryView &view, const ScheduledJobSettings &job);

    // Calls addToScheduleClicked() when the pair already has a record;
    // otherwise does nothing and answers nullopt.
    std::optional<ScheduleSaveResult> updateScheduleParametersIfExists(ScheduleEntryView &view,
                                                                       const ScheduledJobSettings &job);

    // The box's text as a number: an integer as typed (qlonglong), a fraction
    // as a real (double); nothing when it is not a number. Accepts the
    // locale's and the C notation, surrounding blanks ignored.
    static std::optional<QVariant> snapshotsToKeepFromText(const QString &text, const QLocale &locale = QLocale());

    // The in-process notification that asks for the schedule to be saved as
    // the in-memory list stands.
    static QString scheduledBackupsDidChangeName() { return QStringLiteral("scheduledBackupsDidChange"); }
    // Rewrites the schedule file from the in-memory list and posts
    // "SCHEDULECHANGED"; answers whether the file was written.
    static bool scheduledBackupsDidChange(SharedSchedule &schedule);
    // Calls scheduledBackupsDidChange() at every post of the notification,
    // for as long as `context` lives.
    static void observeScheduledBackupsDidChange(SharedSchedule &schedule, QObject *context);

    // A scheduled job's destination folder, made when the job is created: a
    // job whose folder does not exist counts as absent at every check and
    // would never run. A folder on a disk that is not attached is left alone
    // (the run makes it once the disk is there).
    enum class DestinationFolder { Exists, Created, OnAbsentVolume, CannotCreate };
    struct DestinationResult
    {
        DestinationFolder state;
        QString error; // why it could not be made
    };
    static DestinationResult prepareDestinationFolder(const QString &destination,
                                                      const std::function<bool(const QString &)> &volumeIsMounted);

private:
    SharedSchedule &m_schedule;
    const Clock &m_clock;
    QLocale m_locale;
};
