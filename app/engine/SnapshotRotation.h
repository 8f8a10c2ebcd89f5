#pragma once

// Removing old snapshots after a good Snapshot run: list the destination's
// complete snapshots of one job, pick those to remove
// (SnapshotFolders::snapshotsToRetire), rename each out of the way and run
// the bundle's remover on it. Runs on a worker thread; what the user should
// see is reported through the callbacks, which the caller hops to the main
// thread.

#include "SnapshotOwnership.h"
#include "SnapshotThinning.h"
#include "JobRecord.h"
#include "TaskFactory.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class SnapshotRemover
{
public:
    enum class Outcome { Finished, CouldNotStart, Stopped };

    struct Callbacks
    {
        // Called once before the remover starts: progress bar indeterminate
        // and the status "Deleting old backup: NAME".
        std::function<void(const QString &status)> started;
        // "Deleting old backup \"NAME\". Files deleted: N", once per 1000 lines.
        std::function<void(const QString &status)> progressed;
        // The remover has reached its end: progress bar determinate again.
        std::function<void()> finished;
        // Read after every chunk of output; true interrupts the remover.
        std::function<bool()> userSaidStop;
    };

    explicit SnapshotRemover(QString dropcountPath, const TaskFactory &tasks = TaskFactory::system())
        : m_dropcountPath(std::move(dropcountPath))
        , m_tasks(tasks)
    {}

    // deleteOldBackup: runs "dropcount -rfv FOLDER" and follows its output;
    // a stop ends the remover with its process group. The statuses name `displayName` (the folder's own name when
    // empty); `reason` receives why something could not be removed, if the remover said so, or why it could not start.
    Outcome deleteOldBackup(const QString &folder, const Callbacks &callbacks, const QString &displayName = QString(),
                            QString *reason = nullptr) const;

private:
    QString m_dropcountPath;
    const TaskFactory &m_tasks;
};

// An old snapshot rotation could not remove, and why.
struct RotationFailure
{
    QString snapshotName;
    QString reason;
};

struct RotationReport
{
    QStringList removed; // snapshot names
    QList<RotationFailure> failures;
    bool stopped = false;

    // "Could not remove the old snapshot \"NAME\": REASON" for the first
    // failure, with the number of further ones; empty without failures.
    QString failureText() const;
};

namespace SnapshotRotation {

// The destination's complete snapshots: entries directly inside it, not
// hidden, that are real folders (never a link) named "VLM Snapshot ...".
// A destination that cannot be listed has none.
QStringList listSnapshotFolders(const QString &destination);

// The complete snapshots of one job (SnapshotOwnership).
QStringList jobSnapshotFolders(const QString &destination, const SnapshotOwnership &ownership);

// The newest complete snapshot of a job, as a link destination ("/" at the
// end), or empty when it has none.
QString newestJobSnapshot(const QString &destination, const SnapshotOwnership &ownership);

// Hidden folders directly inside the destination whose names pass `kind`
// (SnapshotFolders::isWorkingFolderName, isRetiringFolderName).
QStringList hiddenFolders(const QString &destination, bool (*kind)(const QString &));

// Renames a snapshot to its retiring name, then removes it. A failure says
// which snapshot and why; a folder that could not be removed stays under
// its retiring name and is tried again by removeLeftovers().
void retireSnapshot(const QString &snapshot, const SnapshotRemover &remover,
                    const SnapshotRemover::Callbacks &callbacks, RotationReport &report);

// Removes what earlier removals left behind (retiring folders, of any job).
RotationReport removeLeftovers(const QString &destination, const SnapshotRemover &remover,
                               const SnapshotRemover::Callbacks &callbacks);

// Rotation after a good run: removes the job's complete snapshots the rule
// gives up (the oldest beyond its count, or those thinning drops), never one
// of `keep` (the link destination and the new snapshot).
RotationReport rotate(const QString &destination, const SnapshotOwnership &ownership, const RetentionRule &rule,
                      const QDateTime &now, const QStringList &keep, const SnapshotRemover &remover,
                      const SnapshotRemover::Callbacks &callbacks);

// One complete snapshot of a job and whether its rule keeps it.
struct PruneEntry
{
    QString folder;
    bool keep = true;
};

// The job's complete snapshots, oldest first (undated ones last, always
// kept), each marked as the rule would leave it at `now`; never removing one
// of `keep`.
QList<PruneEntry> prunePlan(const QString &destination, const SnapshotOwnership &ownership, const RetentionRule &rule,
                            const QDateTime &now, const QStringList &keep);

// The same for the job of the pair (source, dest) among the saved jobs
// `saved`, keeping its recorded link destination.
QList<PruneEntry> prunePlanForJob(const QList<JobRecord> &saved, const QString &source, const QString &dest,
                                  const RetentionRule &rule, const QDateTime &now);

} // namespace SnapshotRotation
