#include "SharedSchedule.h"

#include "Identifiers.h"
#include "NotificationPoster.h"

#include <algorithm>

SharedSchedule::SharedSchedule(ScheduleFile file, NotificationPoster &poster)
    : m_file(std::move(file))
    , m_poster(poster)
{}

qsizetype SharedSchedule::indexOfMatchingRecord(const QString &sourcePath, const QString &destPath) const
{
    for (qsizetype row = 0; row < m_records.size(); ++row) {
        if (JobRecords::matchesPair(m_records.at(row), sourcePath, destPath))
            return row;
    }
    return -1;
}

JobRecord *SharedSchedule::matchingDictionaryForSourceAndDestExists(const QString &sourcePath, const QString &destPath)
{
    const qsizetype row = indexOfMatchingRecord(sourcePath, destPath);
    return row < 0 ? nullptr : &m_records[row];
}

namespace {

// The first record of `records` that stands for the same job as `record`:
// the same pair, or (for a record without a usable pair) the same content.
qsizetype indexOfSameJob(const QList<JobRecord> &records, const JobRecord &record)
{
    const QString source = JobRecords::sourcePath(record);
    const QString dest = JobRecords::destPath(record);
    for (qsizetype row = 0; row < records.size(); ++row) {
        if (JobRecords::matchesPair(records.at(row), source, dest)
            || ((source.isEmpty() || dest.isEmpty()) && records.at(row) == record))
            return row;
    }
    return -1;
}

void replaceOrAppend(QList<JobRecord> &records, const JobRecord &record)
{
    const qsizetype row = indexOfSameJob(records, record);
    if (row >= 0)
        records[row] = record;
    else
        records.append(record);
}

// A copy with storage of its own, so that changing one list never moves the
// records of the other (callers hold pointers into the in-memory list).
QList<JobRecord> separateCopy(const QList<JobRecord> &records)
{
    return QList<JobRecord>(records.cbegin(), records.cend());
}

} // namespace

ScheduleReadResult::State SharedSchedule::loadFromFileIfEmpty()
{
    const ScheduleReadResult result = m_file.read();
    if (result.state == ScheduleReadResult::State::Unreadable)
        qWarning("Schedule file %s could not be read (%s); starting with an empty schedule", qPrintable(m_file.path()),
                 qPrintable(result.error));
    else if (result.skippedEntries > 0)
        qWarning("Schedule file %s: %d entries are not job records and were skipped", qPrintable(m_file.path()),
                 result.skippedEntries);
    if (m_records.isEmpty()) {
        m_records = separateCopy(result.records);
        m_base = separateCopy(result.records);
    }
    return result.state;
}

bool SharedSchedule::updateSharedArrayAndWriteToFile(const BackupParameters *job)
{
    if (!job)
        return writeAndPost();
    const JobRecord record = job->getParametersDictionary();
    const qsizetype row = indexOfMatchingRecord(job->sourcePath, job->destPath);
    if (row >= 0)
        m_records[row] = record;
    else
        m_records.append(record);
    return writeAndPost(record);
}

bool SharedSchedule::deleteRows(QList<qsizetype> rows)
{
    // From the last row up, so earlier removals do not shift later rows.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const qsizetype row : std::as_const(rows)) {
        if (row >= 0 && row < m_records.size())
            m_records.removeAt(row);
    }
    return writeAndPost();
}

QList<JobRecord> SharedSchedule::mergedInto(const QList<JobRecord> &current,
                                            const std::optional<JobRecord> &saved) const
{
    QList<JobRecord> result = current;
    // Deleted here: a job of the base this list no longer has.
    for (const JobRecord &base : m_base) {
        if (indexOfSameJob(m_records, base) < 0) {
            if (const qsizetype row = indexOfSameJob(result, base); row >= 0)
                result.removeAt(row);
        }
    }
    for (const JobRecord &mine : m_records) {
        const qsizetype baseRow = indexOfSameJob(m_base, mine);
        if (baseRow >= 0 && m_base.at(baseRow) == mine)
            continue; // unchanged here: the file's version stands
        const qsizetype row = indexOfSameJob(result, mine);
        if (row >= 0)
            result[row] = mine;
        else if (baseRow < 0)
            result.append(mine); // new here
        // else: changed here in place, deleted elsewhere: it stays deleted
    }
    // A job saved explicitly is saved whatever happened to it elsewhere.
    if (saved)
        replaceOrAppend(result, *saved);
    return result;
}

void SharedSchedule::takeWritten(const QList<JobRecord> &written)
{
    if (m_records.size() == written.size()) {
        for (qsizetype row = 0; row < written.size(); ++row)
            m_records[row] = written.at(row);
    } else {
        m_records = separateCopy(written);
    }
    m_base = separateCopy(written);
}

bool SharedSchedule::writeAndPost(const std::optional<JobRecord> &saved)
{
    m_lastError.clear();
    const std::optional<QList<JobRecord>> written = m_file.update(
        [this, &saved](const QList<JobRecord> &current) { return mergedInto(current, saved); }, &m_lastError);
    if (written)
        takeWritten(*written);
    else
        qWarning("%s", qPrintable(m_lastError));
    m_poster.postNotification(Vellumor::ScheduleChangedNotification, Vellumor::NotificationObject);
    return written.has_value();
}
