#pragma once

// The schedule file: an XML property list whose root is an array of job
// records, in list order.
//
// What callers may rely on:
//  - read() never fails and never blocks: a missing, empty or unreadable
//    file is an empty schedule, and the state says which; only a regular
//    file (or a link to one) of at most MaximumSize bytes is read, anything
//    else (a named pipe, a link to a device, a larger file) is unreadable;
//    entries of the array that are not dictionaries are skipped (and
//    counted);
//  - write() replaces the file as a whole in one step (QSaveFile), so a
//    concurrent reader sees the old or the new file, never a mix;
//  - write() never destroys what it could not read: an existing file that
//    does not read back cleanly is first kept beside the new one as
//    "<name>.unreadable-yyyy-MM-dd-HHmm" (dated by the clock); when that copy
//    cannot be made, nothing is written and write() reports it; an entry that
//    is not a regular file is moved aside under that name instead (the entry
//    itself, never what a link points to), so nothing is written through it;
//  - write() refuses a schedule larger than MaximumSize, which read() would
//    not take back;
//  - write() and update() hold the schedule's lock, "<name>.lock" beside the
//    file (flock, exclusive), while they read and replace the file: writers
//    in other processes, or other instances in this one, wait their turn, so
//    update() always changes the file as it is, never a stale copy of it.
//    Readers need no lock (the file is replaced in one step).

#include "JobRecord.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Clock;

struct ScheduleReadResult
{
    enum class State {
        Missing,    // no file: the normal state of a fresh account
        Empty,      // a file of zero bytes
        Read,       // a property-list array (possibly with skipped entries)
        Unreadable, // not a property list, or its root is not an array
    };
    State state = State::Missing;
    QList<JobRecord> records;
    int skippedEntries = 0;      // array entries that were not dictionaries
    QString error;               // why the file is unreadable, for the log
    bool notRegularFile = false; // a pipe, device, folder or a link to one

    // Whether a rewrite would lose something that is in the file now.
    bool wouldLoseData() const { return state == State::Unreadable || skippedEntries > 0; }
};

class ScheduleFile
{
public:
    ScheduleFile(QString path, const Clock &clock);

    // Far more than any schedule needs (some hundred thousand excluded
    // paths), small enough to read into memory at every check.
    static constexpr qint64 MaximumSize = 16 * 1024 * 1024;

    QString path() const { return m_path; }

    ScheduleReadResult read() const;

    // The records, or an empty list, whatever the file holds.
    QList<JobRecord> arrayWithContentsOfFile() const { return read().records; }

    // Replaces the file with these records. Creates the folder when missing.
    // On failure returns false and, when given, sets error to a message
    // naming the file and the cause.
    bool write(const QList<JobRecord> &records, QString *error = nullptr) const;

    // Under the lock: reads the file, lets `change` turn its records into the
    // new list and writes that. Answers the list written, or nothing (and
    // sets error, as write() does) when the file could not be locked or
    // written; `change` is not called when the lock could not be taken.
    using Change = std::function<QList<JobRecord>(const QList<JobRecord> &current)>;
    std::optional<QList<JobRecord>> update(const Change &change, QString *error = nullptr) const;

    QString lockPath() const { return m_path + QStringLiteral(".lock"); }

private:
    bool keepUnreadableFile(const ScheduleReadResult &current, QString *error) const;
    bool writeLocked(const QList<JobRecord> &records, const ScheduleReadResult &current, QString *error) const;

    QString m_path;
    const Clock &m_clock;
};
