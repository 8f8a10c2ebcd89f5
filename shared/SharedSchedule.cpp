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

ScheduleReadResult::State SharedSchedule::loadFromFileIfEmpty()
{
    const ScheduleReadResult result = m_file.read();
    if (result.state == ScheduleReadResult::State::Unreadable)
        qWarning("Schedule file %s could not be read (%s); starting with an empty schedule", qPrintable(m_file.path()),
                 qPrintable(result.error));
    else if (result.skippedEntries > 0)
        qWarning("Schedule file %s: %d entries are not job records and were skipped", qPrintable(m_file.path()),
                 result.skippedEntries);
    if (m_records.isEmpty())
        m_records = result.records;
    return result.state;
}

bool SharedSchedule::updateSharedArrayAndWriteToFile(const BackupParameters *job)
{
    if (job) {
        const JobRecord record = job->getParametersDictionary();
        const qsizetype row = indexOfMatchingRecord(job->sourcePath, job->destPath);
        if (row >= 0)
            m_records[row] = record;
        else
            m_records.append(record);
    }
    return writeAndPost();
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

bool SharedSchedule::writeAndPost()
{
    m_lastError.clear();
    const bool written = m_file.write(m_records, &m_lastError);
    if (!written)
        qWarning("%s", qPrintable(m_lastError));
    m_poster.postNotification(Vellumor::ScheduleChangedNotification, Vellumor::NotificationObject);
    return written;
}
