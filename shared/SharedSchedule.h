#pragma once

// The main application's in-memory list of job records (sharedParams), the
// master copy of the schedule file. Every change goes to the list first and
// then the whole list is written to the file, after which "SCHEDULECHANGED"
// with object "beepbeep" is posted, also when the write failed or nothing
// changed, so the agent always re-reads.
//
// What callers may rely on:
//  - at most one record per (sourcePath, destPath) pair is created by
//    updateSharedArrayAndWriteToFile(); a re-saved job keeps its row;
//  - records are never merged back from the file after start-up;
//  - a failed write leaves the list as changed (the next save tries again)
//    and is reported through the return value and lastError().
// Use from the main thread only.

#include "JobRecord.h"
#include "ScheduleFile.h"

#include <QList>
#include <QString>

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

    // Start-up: fills the list from the file only when the list is empty.
    // Returns how the file was read.
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
    bool writeAndPost();

    ScheduleFile m_file;
    NotificationPoster &m_poster;
    QList<JobRecord> m_records;
    QString m_lastError;
};
