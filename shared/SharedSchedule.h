#pragma once

// The main application's in-memory list of job records (sharedParams), the
// master copy of the schedule file for this process. Every change goes to the
// list first; a save then takes the schedule's lock, re-reads the file, applies
// this list's own changes to what the file holds now, identified by the
// ("sourcePath", "destPath") pair, writes the result and makes it the list.
// "SCHEDULECHANGED" with object "beepbeep" follows every save, also when the
// write failed or nothing changed, so the agent always re-reads.
//
// What callers may rely on:
//  - at most one record per (sourcePath, destPath) pair is created by
//    updateSharedArrayAndWriteToFile(); a re-saved job keeps its row;
//  - a save never drops what another process (or another instance) saved in
//    the meantime: records this list did not change are taken from the file
//    as it is; a record changed in place here (recordAt()) replaces the
//    file's record of its pair, unless that pair was deleted meanwhile; a job
//    given to updateSharedArrayAndWriteToFile() is always saved; deleted rows
//    are deleted from the file;
//  - after a successful save the list is the file's content, in its order,
//    with the records other processes saved; a pointer or reference into the
//    list (recordAt(), matchingDictionaryForSourceAndDestExists()) is only
//    good until the next save or deletion: find the record again by its pair;
//  - a failed write leaves the list as changed (the next save tries again)
//    and is reported through the return value and lastError().
// Use one instance from one thread at a time.

#include "JobRecord.h"
#include "ScheduleFile.h"

#include <QList>
#include <QString>

#include <optional>

class NotificationPoster;

class SharedSchedule
{
public:
    SharedSchedule(ScheduleFile file, NotificationPoster &poster);

    const QList<JobRecord> &sharedParams() const { return m_records; }
    qsizetype count() const { return m_records.size(); }
    // A record to change in place (the dispatcher rolls its dates forward, a
    // snapshot run sets its "linkDest"); save afterwards.
    JobRecord &recordAt(qsizetype row) { return m_records[row]; }

    // Row of the first record of the pair, -1 when none (or a path is empty).
    qsizetype indexOfMatchingRecord(const QString &sourcePath, const QString &destPath) const;
    // The first record of the pair, or nullptr.
    JobRecord *matchingDictionaryForSourceAndDestExists(const QString &sourcePath, const QString &destPath);

    // Start-up: fills the list from the file only when the list is empty
    // (an unsaved change in a list that is not empty stays). Returns how the
    // file was read.
    ScheduleReadResult::State loadFromFileIfEmpty();

    // Replaces the job's record in its row or appends it (when a job is
    // given), writes the list and posts "SCHEDULECHANGED". Returns whether the
    // file was written.
    bool updateSharedArrayAndWriteToFile(const BackupParameters *job = nullptr);

    // Removes the given rows (out-of-range rows are ignored), then writes and
    // posts as a save does. Returns whether the file was written.
    bool deleteRows(QList<qsizetype> rows);

    // Why the last write failed; empty after a successful one.
    QString lastError() const { return m_lastError; }

    const ScheduleFile &file() const { return m_file; }

private:
    bool writeAndPost(const std::optional<JobRecord> &saved = std::nullopt);
    QList<JobRecord> mergedInto(const QList<JobRecord> &current, const std::optional<JobRecord> &saved) const;
    void takeWritten(const QList<JobRecord> &written);

    ScheduleFile m_file;
    NotificationPoster &m_poster;
    QList<JobRecord> m_records;
    // The records as the file held them when this list last read or wrote
    // it: what differs from them is this list's own change.
    QList<JobRecord> m_base;
    QString m_lastError;
};
