#pragma once

// One Snapshot run's dealings with its destination, from before the copy to
// after it:
//  - begin(): lock the destination (DestinationLock), choose a link
//    destination that is a complete snapshot of the job, choose the working
//    folder (the job's leftover one, which rsync then completes, or a new
//    hidden one) and the snapshot's name; when a snapshot of that minute
//    already exists, wait for the next minute rather than write into it;
//  - complete(): after a run that ended well, give the working folder its
//    snapshot name (never over an existing folder);
//  - rotate(): remove what earlier removals left, then this job's oldest
//    complete snapshots beyond its limit, reporting what could not go.
// A run that ends badly calls none of the last two: its working folder stays
// hidden for the next run, and no complete snapshot is lost.

#include "DestinationLock.h"
#include "SnapshotRotation.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>

class Clock;

struct SnapshotJob
{
    QString destination;      // the folder snapshots are made in
    QString ownerName;        // SnapshotFolders::ownerFolderName of the first source
    QString recordedLinkDest; // the job's saved link destination, may be stale or empty
    // The sources as the user chose them: what the snapshot records.
    QStringList chosenSources;
    // The owner names of the other saved jobs into this destination.
    QStringList otherOwnerNames;
};

class SnapshotSession
{
public:
    // Waits until the clock has passed the start of its next minute; false
    // when the run was stopped meanwhile.
    using MinuteWaiter = std::function<bool()>;

    // Without a waiter, the session sleeps until the clock's next minute,
    // asking `stopRequested` every quarter of a second.
    SnapshotSession(const Clock &clock, std::function<bool()> stopRequested = {}, MinuteWaiter waiter = {});

    // Empty on success; otherwise the text saying why the run cannot start
    // (destination locked by another run, stopped while waiting).
    std::optional<QString> begin(const SnapshotJob &job, const QLocale &locale = QLocale());

    // A complete snapshot of the job ("/" at the end), or empty.
    QString linkDest() const { return m_linkDest; }
    // Where rsync writes: relative to the destination, and in full ("/" at
    // the end).
    QString workingFolderName() const { return m_workingName; }
    QString workingFolderPath() const;
    bool reusesWorkingFolder() const { return m_reused; }
    QString snapshotName() const { return m_snapshotName; }
    QString snapshotPath() const;

    // Folders that look like the job's snapshots but are not trusted
    // (another account's, dated in the future), said once per run; empty
    // when there are none.
    QString untrustedSnapshotsNotice() const { return m_untrustedNotice; }

    // Writes the job's record into the working folder and renames it to the
    // snapshot's name. Empty on success,
    // otherwise why not (the working folder then stays for the next run).
    std::optional<QString> complete();
    bool isComplete() const { return m_completed; }

    // Cleans leftovers of earlier removals, then rotates this job's
    // snapshots (never the link destination or the new snapshot).
    RotationReport rotate(const RetentionRule &rule, const SnapshotRemover &remover,
                          const SnapshotRemover::Callbacks &callbacks) const;

    // Ends the run's hold on the destination (children keep theirs).
    void end() { m_lock.release(); }
    const DestinationLock &lock() const { return m_lock; }

    // The link destination to use: `recorded` when it is one of the job's
    // complete snapshots, otherwise the job's newest, otherwise empty.
    static QString chooseLinkDest(const QString &recorded, const QString &destination,
                                  const SnapshotOwnership &ownership);
    // The job's leftover working folder to complete (the newest by name, of
    // a trusted owner, that holds the owner's entry or nothing at all and
    // records no other job), or empty.
    static QString leftoverWorkingFolder(const QString &destination, const SnapshotOwnership &ownership,
                                         const QList<uid_t> &trustedOwners);
    // Readies a leftover working folder for rsync to complete: every file in
    // it that shares its inode (hard links to a snapshot, made through the
    // link destination) is unlinked, as rsync would otherwise change the
    // shared inode's permissions or owner in place, and so the snapshot's.
    // rsync links or copies those files again. False when one could not go.
    static bool keepOnlyOwnFiles(const QString &folder);

private:
    bool waitForFreeName(const QLocale &locale);
    bool sleepUntilNextMinute() const;

    const Clock &m_clock;
    std::function<bool()> m_stopRequested;
    MinuteWaiter m_waiter;
    DestinationLock m_lock;
    SnapshotJob m_job;
    std::optional<SnapshotOwnership> m_ownership;
    QString m_untrustedNotice;
    QString m_linkDest;
    QString m_workingName;
    QString m_snapshotName;
    bool m_reused = false;
    bool m_completed = false;
};
