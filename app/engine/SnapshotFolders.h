#pragma once

// Snapshot folders on a destination: their names, recognising them, choosing
// the oldest, and which one a run may remove. Pure functions over names and
// dates; listing and removal live beside them (SnapshotRotation).

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
// locale (weekday and AM/PM marker come from it). Two runs started in the
// same minute share a folder.
QString snapshotFolderName(const QDateTime &start, const QLocale &locale = QLocale());

// The full path of a run's snapshot folder: destination + "/" + name + "/".
QString snapshotFolderPath(const QString &destination, const QDateTime &start, const QLocale &locale = QLocale());

// True when the last path component begins with "VLM Snapshot ".
bool doesLookLikeVLMBackupFolder(const QString &path);

// The start time a snapshot's name records, or none when it does not read as
// a date ("VLM Snapshot old").
std::optional<QDateTime> snapshotDate(const QString &path, const QLocale &locale = QLocale());

// The folder with the latest snapshotDate among `folders`, cleaned and with
// one trailing "/" (as a link destination is passed); folders without a
// readable date are skipped; none: std::nullopt.
std::optional<QString> newestSnapshot(const QStringList &folders, const QLocale &locale = QLocale());

// The oldest folder whose name reads as a date; on equal dates the one met
// later wins. None when no name reads as a date.
std::optional<QString> getOldestBackup(const QStringList &folders, const QLocale &locale = QLocale());

// The folder rotation removes before a run, if any: when snapshotsToKeep is
// above 0 and at least that many snapshots exist, the oldest one - but never
// the run's own link destination, which the new copy hard-links against; the
// surplus then goes on a later run.
std::optional<QString> snapshotToRemove(const QStringList &snapshotFolders, qint64 snapshotsToKeep,
                                        const QString &linkDest, const QLocale &locale = QLocale());

// What the window shows for a link destination: its folder's name (the
// next-to-last path component, as link destinations end in "/"), a path of
// fewer than two components whole, and " " for none.
QString linkDestDisplayText(const std::optional<QString> &linkDest);

// True when two paths name the same place, ignoring trailing slashes.
bool samePath(const QString &a, const QString &b);

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
