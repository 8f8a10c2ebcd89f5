#pragma once

// The fast form of a Snapshot run that has a complete previous snapshot:
// instead of one copy that links against the previous snapshot, the run
//  1. clones the previous snapshot into its new working folder as a tree of
//     hard links (HardLinkClone, on a thread of its own) while the dry run
//     compares the sources with the previous snapshot and prints the change
//     list (SnapshotChangeList) beside its usual totals;
//  2. removes from the clone what left the sources or is now excluded,
//     detaches every other entry the change list names, so that no inode the
//     older snapshots share is ever changed in place, and links a new name of
//     an unchanged file to the file's inode in the clone, as the ordinary
//     run would;
//  3. copies into the clone exactly the entries the change list names
//     (TransferList): rsync never looks at the unchanged rest, so a change
//     made to a source entry after the comparison cannot reach a shared
//     inode either.
//
// What callers may rely on:
//  - the argument lists are derived from the ordinary linked list of the run
//    (the same sources, exclusions and options), so both forms make the same
//    snapshot;
//  - usableFor() says whether the names of the snapshot can be traced back
//    to the sources; without that the run stays ordinary;
//  - the copy may start only when prepareClone() returned no failure: an
//    entry that could not be removed or detached, a clone that failed or
//    left out a folder, or a dry run that did not end normally (its change
//    list may be incomplete) stops the run before rsync touches the clone;
//  - a clone that cannot serve (unusableClone()) is reported before any
//    entry of it is changed, so the run can still copy the ordinary way;
//  - finishClone() always joins the clone's thread; the destructor does too.

#include "SnapshotChangeList.h"
#include "TransferList.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

struct HardLinkCloneResult;
struct TaskTermination;

class FastSnapshot
{
public:
    // Whether a run over these sources (as passed to rsync) can take the
    // fast form.
    static bool usableFor(const QStringList &sourcesPassed);

    // `linkedArguments`: the ordinary list of the run, with "--link-dest=" and
    // the working folder as its last element; `sourcesPassed` as usableFor()
    // accepted them. `stop` ends the clone early.
    FastSnapshot(QStringList linkedArguments, const QStringList &sourcesPassed, QString previousSnapshot,
                 QString workingFolder, const std::atomic<bool> *stop);
    ~FastSnapshot();
    FastSnapshot(const FastSnapshot &) = delete;
    FastSnapshot &operator=(const FastSnapshot &) = delete;

    // The dry run's list: the linked list without "--link-dest=" and "-vv",
    // with the change list's out-format in place of the usual one, the
    // partial folder excluded instead of searched, deletions listed, and the
    // previous snapshot as destination.
    static QStringList dryRunArguments(const QStringList &linkedArguments, const QString &previousSnapshot);
    // The copy's list: the linked list's options without "-vv", the
    // protecting filter and the exclusions (the transfer list holds nothing
    // excluded), reading the entries from `transferListPath`.
    static QStringList copyArguments(const QStringList &linkedArguments, const QString &transferListPath);

    QStringList dryRunArguments() const { return dryRunArguments(m_linkedArguments, m_previousSnapshot); }
    QStringList copyArguments() const { return copyArguments(m_linkedArguments, m_transferListFile.fileName()); }

    // Starts cloning the previous snapshot into the working folder.
    void startClone();
    // The dry run's output, as it arrives.
    void addDryRunChunk(const QByteArray &chunk) { m_changes.addChunk(chunk); }
    // After the dry run ended: waits for the clone.
    void finishClone(const TaskTermination &dryRunEnd);
    // After finishClone(): why the clone cannot serve this run (it failed, or
    // left out a folder it could not read, such as one only root may read
    // in a snapshot root's rsync wrote), naming the cause once; empty when it
    // can. The run then sets the clone aside and copies the ordinary way.
    std::optional<QString> unusableClone() const;
    // The ordinary linked list the run's forms are derived from.
    const QStringList &linkedArguments() const { return m_linkedArguments; }
    // Removes and detaches entries of the clone and writes the transfer
    // list. Empty when the copy may start; otherwise why the run must end.
    std::optional<QString> prepareClone();
    // The dry run's lines that were deletions, not copies.
    std::size_t deletionCount() const { return m_changes.deletedEntries().size(); }
    // After the copy: why the clone must not become a snapshot even though
    // the copy ended well, or empty. The comparison could not read some
    // entries (rsync exited with 23): their changes, and the deletions rsync
    // then leaves out, are missing from the change list and the copy, which
    // reads only the listed entries, would not meet the error again.
    QString comparisonProblem() const { return m_comparisonProblem; }

    // Whether a dry run that ended so has printed a change list the copy may
    // go by: a normal end, also with entries that vanished or could not be
    // read (then the clone is copied into but never becomes a snapshot).
    static bool changeListComplete(const TaskTermination &dryRunEnd);

private:
    static void removeListsOfEndedRuns();
    void clone();
    std::optional<QString> pruneClone(int root);
    std::optional<QString> linkHardLinks(int root);
    std::optional<QString> writeTransferList();

    const QStringList m_linkedArguments;
    const TransferList m_transferList;
    const QString m_previousSnapshot;
    const QString m_workingFolder;
    const std::atomic<bool> *m_stop;
    SnapshotChangeList::Collector m_changes;
    std::thread m_cloneThread;
    QTemporaryFile m_transferListFile;
    bool m_transferListOpen = false;
    bool m_cloneOk = false;
    QString m_cloneError;
    std::vector<std::string> m_cloneLeftOut;
    std::string m_firstFolderLeftOut;
    QString m_folderLeftOutBecause;
    std::vector<std::string> m_linkedInClone; // hard links the run made itself
    std::vector<std::string> m_targetsToCopy; // targets of hard links it could not make
    bool m_cloneLeftOutAFolder = false;
    bool m_changeListComplete = false;
    QString m_comparisonProblem;
    QElapsedTimer m_dryRunTimer;
};
