#pragma once

// Which complete snapshots in a destination belong to a job. Several jobs,
// and several accounts, may share one destination; only the job's own
// snapshots may be its link destination or count toward (and be removed
// by) its limit. A snapshot made by another job, linked against, would put
// that job's files into this one's history wherever size and time agree.
//
// Every snapshot carries a record of the job that made it (recordFileName(),
// written into the working folder just before it becomes a snapshot): the
// sources as the user chose them and the destination. A snapshot is the
// job's when
//  - it is owned by an account this run trusts (the running account and
//    root; a run as root also trusts the destination folder's owner), and
//  - its name is not dated more than a day ahead of now (a planted "2099"
//    snapshot would otherwise stay the newest for ever), and
//  - its record names this job, or it has no record (made before records
//    existed) and this job is the only saved job of the destination that
//    could have made it: its first source's folder is in it and no other
//    job's is. An undecided snapshot is left alone, never removed on a guess.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

// A job as a snapshot records it.
struct SnapshotIdentity
{
    QStringList sources; // as the user chose them
    QString destination;

    // The same first source and destination, trailing "/" ignored.
    bool sameJob(const SnapshotIdentity &other) const;
    QByteArray toRecord() const;
    // None for text that is not such a record.
    static std::optional<SnapshotIdentity> fromRecord(const QByteArray &record);
};

namespace SnapshotRecord {

QString recordFileName();
// Writes the record into `folder` through a new file renamed into place
// (a cloned snapshot's record is a hard link to the older one's). Empty on
// success, otherwise why not. An entry of that name that is not a record (a
// file of a source whose contents fill the folder) is never replaced.
std::optional<QString> write(const QString &folder, const SnapshotIdentity &identity);
// The folder's record: none when it has none or it cannot be read.
std::optional<SnapshotIdentity> read(const QString &folder);

} // namespace SnapshotRecord

// What is known of one snapshot folder, gathered by SnapshotOwnership.
struct SnapshotFacts
{
    uid_t owner = 0;
    std::optional<QDateTime> date; // from its name
    std::optional<SnapshotIdentity> record;
    // Which of the candidate jobs' first-source folder names it holds.
    QStringList ownerNamesPresent;
};

class SnapshotOwnership
{
public:
    enum class Verdict { Own, OtherJob, Undecided, OtherAccount, FutureDate };

    struct Job
    {
        SnapshotIdentity identity;
        QString ownerName; // the first source's folder name in a snapshot; empty when its contents fill it
        // The same of the other saved jobs into this destination.
        QStringList otherOwnerNames;
    };

    SnapshotOwnership(Job job, QList<uid_t> trustedOwners, QDateTime now);
    // Trusts the running account and root; a run as root also trusts the
    // destination folder's owner.
    static QList<uid_t> trustedOwnersFor(const QString &destination);

    Verdict judge(const SnapshotFacts &facts) const;
    SnapshotFacts factsOf(const QString &folder) const;
    Verdict verdictFor(const QString &folder) const { return judge(factsOf(folder)); }

    // The job's snapshots among `folders`.
    QStringList ownSnapshots(const QStringList &folders) const;
    // "\"NAME\" (why)" for each folder that looks like a snapshot of the job but
    // is not trusted: another account's, or dated in the future.
    QStringList untrusted(const QStringList &folders) const;

    const Job &job() const { return m_job; }

private:
    Job m_job;
    QList<uid_t> m_trustedOwners;
    QDateTime m_now;
};

// "Ignored \"NAME\" (why): not used as a snapshot." for one, a count and the
// first for several; empty for none.
QString untrustedSnapshotsText(const QStringList &untrusted);
