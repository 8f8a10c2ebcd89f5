#pragma once

// The fast form of a Snapshot run that has a complete previous snapshot:
// instead of one copy that links against the previous snapshot, the run
//  1. clones the previous snapshot into its new working folder as a tree of
//     hard links (HardLinkClone, on a thread of its own) while the dry run
//     compares the sources with the previous snapshot and prints the change
//     list (SnapshotChangeList) beside its usual totals;
//  2. detaches from the clone every entry the change list names, so that no
//     inode the older snapshots share is ever changed in place;
//  3. copies into the clone, deleting what left the sources or is now
//     excluded (the clone is the run's own to prune).
//
// What callers may rely on:
//  - the argument lists are derived from the ordinary linked list of the run
//    (the same sources, exclusions and options), so both forms make the same
//    snapshot;
//  - the copy may start only when prepareClone() returned no failure: any
//    entry that could not be detached, a clone that failed, or a dry run
//    that did not end normally (its change list may be incomplete) stops the
//    run before rsync touches the clone;
//  - finishClone() always joins the clone's thread; the destructor does too.

#include "SnapshotChangeList.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <thread>

struct HardLinkCloneResult;
struct TaskTermination;

class FastSnapshot
{
public:
    // `linkedArguments`: the ordinary list of the run, with "--link-dest=" and
    // the working folder as its last element. `stop` ends the clone early.
    FastSnapshot(QStringList linkedArguments, QString previousSnapshot, QString workingFolder,
                 const std::atomic<bool> *stop);
    ~FastSnapshot();
    FastSnapshot(const FastSnapshot &) = delete;
    FastSnapshot &operator=(const FastSnapshot &) = delete;

    // The dry run's list: the linked list without "--link-dest=" and "-vv",
    // with the change list's out-format in place of the usual one, and the
    // previous snapshot as destination.
    static QStringList dryRunArguments(const QStringList &linkedArguments, const QString &previousSnapshot);
    // The copy's list: the linked list without "--link-dest=", "-vv" and the
    // protecting filter, plus "--delete" and "--delete-excluded".
    static QStringList copyArguments(const QStringList &linkedArguments);

    QStringList dryRunArguments() const { return dryRunArguments(m_linkedArguments, m_previousSnapshot); }
    QStringList copyArguments() const { return copyArguments(m_linkedArguments); }

    // Starts cloning the previous snapshot into the working folder.
    void startClone();
    // The dry run's output, as it arrives.
    void addDryRunChunk(const QByteArray &chunk) { m_changes.addChunk(chunk); }
    // After the dry run ended: waits for the clone.
    void finishClone(const TaskTermination &dryRunEnd);
    // Detaches the changed entries from the clone. Empty when the copy may
    // start; otherwise why the run must end here.
    std::optional<QString> prepareClone();

    // Whether a dry run that ended so has printed a whole change list: a
    // normal end, also with files that vanished or could not be read (the
    // copy then meets the same errors).
    static bool changeListComplete(const TaskTermination &dryRunEnd);

private:
    void clone();

    const QStringList m_linkedArguments;
    const QString m_previousSnapshot;
    const QString m_workingFolder;
    const std::atomic<bool> *m_stop;
    SnapshotChangeList::Collector m_changes;
    std::thread m_cloneThread;
    bool m_cloneOk = false;
    QString m_cloneError;
    bool m_changeListComplete = false;
    QElapsedTimer m_dryRunTimer;
};
