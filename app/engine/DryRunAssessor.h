#pragma once

// Measures a job from the output of its dry run, chunk by chunk, in constant
// memory: it counts line breaks and keeps only the last 1024 bytes.
//
// What callers may rely on:
//  - lineCount() counts every "\n" byte fed, whatever the chunking (counted
//    on the raw bytes, so a chunk that cuts a multi-byte character in two
//    loses nothing);
//  - totalFiles() is lineCount() - 15 (rsync's --stats block and the blank
//    and header lines around it), negative for tiny jobs;
//  - totalTransferredSize() reads the first "Total transferred file size: "
//    line of the kept tail, digits only (so "12,179,873" and "9.031.974"
//    both read right), 0 when there is none;
//  - statusDue(second) answers true at most once per whole second.

#include <QByteArray>
#include <QString>

class DryRunAssessor
{
public:
    static constexpr qsizetype tailLimit = 1024;

    // `lastStatusSecond`: the second of the previous status refresh, which the
    // controller keeps for the life of the process.
    explicit DryRunAssessor(qint64 lastStatusSecond = 0) : m_lastStatusSecond(lastStatusSecond) {}

    void addChunk(const QByteArray &chunk);

    qint64 lineCount() const { return m_lineCount; }
    qint64 totalFiles() const { return m_lineCount - 15; }
    qint64 totalTransferredSize() const;
    QString tail() const;

    // True when `nowSeconds` is later than the last second that refreshed the
    // status (0 at first); remembers it.
    bool statusDue(qint64 nowSeconds);
    qint64 lastStatusSecond() const { return m_lastStatusSecond; }
    // "Assessing the job ahead: <count in words> files to copy".
    QString assessingText() const;

private:
    QByteArray m_tail;
    qint64 m_lineCount = 0;
    qint64 m_lastStatusSecond = 0;
};
