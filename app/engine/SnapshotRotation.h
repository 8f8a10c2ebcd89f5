#pragma once

// Removing old snapshots before a Snapshot run: list the destination's
// snapshot folders, pick the one to remove (SnapshotFolders::snapshotToRemove)
// and run the bundle's remover on it. Runs on the backup worker thread; what
// the user should see is reported through the callbacks, which the caller
// hops to the main thread.

#include "TaskFactory.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

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
    // a stop ends the remover with its process group.
    Outcome deleteOldBackup(const QString &folder, const Callbacks &callbacks) const;

private:
    QString m_dropcountPath;
    const TaskFactory &m_tasks;
};

namespace SnapshotRotation {

// The destination's snapshot folders: entries directly inside it, not
// hidden, that are real folders (never a link) named "VLM Snapshot ...".
// A destination that cannot be listed has none.
QStringList listSnapshotFolders(const QString &destination);

// handleOldBackupRemoval: removes at most one snapshot, never linkDest, with
// up to six attempts while the folder still exists. Returns the folder it
// worked on, if any.
std::optional<QString> handleOldBackupRemoval(const QString &destination, qint64 snapshotsToKeep,
                                              const QString &linkDest, const SnapshotRemover &remover,
                                              const SnapshotRemover::Callbacks &callbacks);

} // namespace SnapshotRotation
