#pragma once

// Snapshot folders on a destination: their names, recognising them, reading
// their dates, and which ones rotation may remove. Pure functions over names
// and dates; listing, renaming and removal live beside them
// (SnapshotRotation, SnapshotSession).
//
// Three kinds of folder share a destination:
//  - complete snapshots, "VLM Snapshot <date>": only a run that ended well
//    gives a folder this name;
//  - working folders, ".VLM Snapshot <date>.incomplete": where a run writes;
//    hidden, so never taken for a snapshot, and reused by the job's next run;
//  - retiring folders, ".VLM Snapshot <date>.removing": a snapshot being
//    removed, renamed first so that a removal cut short never leaves a
//    half-emptied folder under a snapshot's name.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace SnapshotFolders {

// Every snapshot folder's name begins with this (13 characters).
inline QString namePrefix()
{
    return QStringLiteral("VLM Snapshot ");
}

// "VLM Snapshot " + the start time as "dd-MM-yyyy EEE HH-mm AM" in the given
// locale (weekday and AM/PM marker come from it).
QString snapshotFolderName(const QDateTime &start, const QLocale &locale = QLocale());

// The full path of a run's snapshot folder: destination + "/" + name + "/".
QString snapshotFolderPath(const QString &destination, const QDateTime &start, const QLocale &locale = QLocale());

// True when the last path component begins with "VLM Snapshot ".
bool doesLookLikeVLMBackupFolder(const QString &path);

// The last path component, trailing slashes ignored.
QString folderName(const QString &path);

// The start time a snapshot's name records, read from its digits alone
// (dd-MM-yyyy, then HH-mm), whatever language its weekday and day-period
// words are in; none when the name holds no such date ("VLM Snapshot old").
std::optional<QDateTime> snapshotDate(const QString &path);

// The oldest folder whose name reads as a date; on equal dates the one met
// later wins. None when no name reads as a date.
std::optional<QString> getOldestBackup(const QStringList &folders);

// The newest folder whose name reads as a date; on equal dates the one met
// later wins.
std::optional<QString> newestBackup(const QStringList &folders);

// The snapshots rotation removes after a good run, oldest first, from one
// job's complete snapshots (the new one included): only names that read as
// dates count; while more than snapshotsToKeep remain, the oldest goes - but
// never `keep` (the run's link destination and its new snapshot), so a
// surplus among those stays until a later run. Nothing for a limit of 0 or
// below.
QStringList snapshotsToRetire(const QStringList &jobSnapshots, qint64 snapshotsToKeep, const QStringList &keep);

// Working folders: "." + snapshot name + ".incomplete".
QString workingFolderName(const QDateTime &start, const QLocale &locale = QLocale());
bool isWorkingFolderName(const QString &path);

// Retiring folders: "." + snapshot name + ".removing".
QString retiringFolderName(const QString &snapshotName);
bool isRetiringFolderName(const QString &path);
// The snapshot name a retiring folder had; the name itself for others.
QString retiredSnapshotName(const QString &path);

// The name of the folder a job's run creates inside its snapshot: the last
// component of the first source as passed to rsync. Empty when the source's
// contents are copied (it ends in "/"), as then nothing in a snapshot tells
// which job wrote it.
QString ownerFolderName(const QString &firstSourcePassed);

// What the window shows for a link destination: its folder's name (the
// next-to-last path component, as link destinations end in "/"), a path of
// fewer than two components whole, and " " for none.
QString linkDestDisplayText(const std::optional<QString> &linkDest);

// True when two paths name the same place, ignoring trailing slashes.
bool samePath(const QString &a, const QString &b);

// True when the folder a run wrote into may become a snapshot: rsync printed
// its summary and exited with 0 (success) or 24 (some source files vanished
// while being copied).
bool runEndedWell(bool summarySeen, std::optional<int> exitStatus);

} // namespace SnapshotFolders

// Counts the lines the remover prints, in batches, for the status line: a
// chunk holding n complete lines adds n + 1 pieces; once the batch reaches
// 1000, it is added to the running total and reported.
class RemovalProgressCounter
{
public:
    // Returns the running total when this chunk completed a batch.
    std::optional<qint64> addChunk(const QByteArray &chunk);
    qint64 total() const { return m_total; }

private:
    qint64 m_batch = 0;
    qint64 m_total = 0;
};

// Keeps the first complaint in the remover's output ("dropcount: cannot
// remove 'PATH': REASON", "dropcount: skipping 'PATH', since ..."), from
// output that arrives in chunks split anywhere.
class RemovalErrorCollector
{
public:
    void addChunk(const QByteArray &chunk);
    // The reason of the first such line ("Device or resource busy"), or
    // empty when none was seen.
    QString firstReason() const { return m_firstReason; }

private:
    void takeLine(const QByteArray &line);

    QByteArray m_partial;
    QString m_firstReason;
};
