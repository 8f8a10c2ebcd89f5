#include "DryRunAssessor.h"

#include "HumanReadable.h"

#include <limits>

void DryRunAssessor::addChunk(const QByteArray &chunk)
{
    m_lineCount += chunk.count('\n');
    if (chunk.size() >= tailLimit) {
        m_tail = chunk.right(tailLimit);
    } else {
        m_tail += chunk;
        if (m_tail.size() > tailLimit)
            m_tail.remove(0, m_tail.size() - tailLimit);
    }
}

QString DryRunAssessor::tail() const
{
    // The tail may start inside a multi-byte character; replacement is fine
    // there, only whole summary lines are read from it.
    return QString::fromUtf8(m_tail);
}

qint64 DryRunAssessor::totalTransferredSize() const
{
    static const QByteArray prefix = "Total transferred file size: ";
    qsizetype start = m_tail.startsWith(prefix) ? 0 : -1;
    if (start < 0) {
        const qsizetype found = m_tail.indexOf(QByteArray("\n" + prefix));
        if (found < 0)
            return 0;
        start = found + 1;
    }
    qsizetype end = m_tail.indexOf('\n', start);
    if (end < 0)
        end = m_tail.size();
    qint64 total = 0;
    for (qsizetype i = start + prefix.size(); i < end; ++i) {
        const char c = m_tail.at(i);
        if (c >= '0' && c <= '9' && total < (std::numeric_limits<qint64>::max() - 9) / 10)
            total = total * 10 + (c - '0');
    }
    return total;
}

bool DryRunAssessor::statusDue(qint64 nowSeconds)
{
    if (nowSeconds <= m_lastStatusSecond)
        return false;
    m_lastStatusSecond = nowSeconds;
    return true;
}

QString DryRunAssessor::assessingText() const
{
    return QStringLiteral("Assessing the job ahead: ") + humanReadableCount(m_lineCount)
        + QStringLiteral(" files to copy");
}
