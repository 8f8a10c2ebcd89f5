#pragma once

// The run history: one record per run (and per skipped scheduled run) in a
// JSON Lines file in the support folder, shared by the application, the
// terminal front end and the agent.
//
// What callers may rely on:
//  - append() adds one whole line under a lock file, so two processes never
//    interleave their records; a line left torn by a process killed while
//    writing is ended first, so it never spoils the record after it;
//  - read() returns every line that reads as a record, oldest first, and
//    skips the rest (a torn line, a line of a newer version it cannot read);
//  - the file keeps at most `limit` records: once it holds a tenth more, the
//    oldest are dropped by replacing the file whole (QSaveFile);
//  - times are stored in UTC with their offset, and read back as such.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct RunRecord
{
    enum class Kind { Sync, Snapshot, Restore, FileManagerCopy };
    // SucceededWithVanished: source files vanished while they were copied.
    enum class Outcome { Succeeded, SucceededWithVanished, Failed, Stopped, OutOfSpace, Skipped };

    QString sourcePath; // the job: its (first) source and destination
    QString destPath;
    QDateTime started;
    QDateTime ended;
    Kind kind = Kind::Sync;
    Outcome outcome = Outcome::Succeeded;
    QString cause;    // the first cause of a failure, or why a run was skipped
    qint64 files = 0; // items copied
    qint64 bytes = 0; // bytes to copy, as the dry run measured them
    QString snapshot; // the snapshot folder the run made, if any

    // A complete backup: the copy succeeded (vanished files included).
    bool succeeded() const { return outcome == Outcome::Succeeded || outcome == Outcome::SucceededWithVanished; }
    bool isFor(const QString &source, const QString &dest) const;
};

namespace RunRecords {

QByteArray toJsonLine(const RunRecord &record); // without the line end
std::optional<RunRecord> fromJsonLine(QByteArrayView line);
// The words stored for kind and outcome ("snapshot", "outOfSpace").
QString kindWord(RunRecord::Kind kind);
QString outcomeWord(RunRecord::Outcome outcome);

} // namespace RunRecords

class RunHistory
{
public:
    static constexpr int defaultLimit = 1000;

    explicit RunHistory(QString path, int limit = defaultLimit);
    // The support folder's "Run History.jsonl".
    static QString defaultPath();

    const QString &path() const { return m_path; }
    // false when the record could not be written (logged).
    bool append(const RunRecord &record) const;
    QList<RunRecord> read() const;

private:
    void trimIfNeeded(int fd) const;

    QString m_path;
    int m_limit;
};
