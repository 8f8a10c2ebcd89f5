#include "AgentNotices.h"

#include "Clock.h"
#include "DisplayName.h"
#include "NoticeBoard.h"
#include "SkipRecorder.h"

#include <QTimeZone>

namespace {

QString jobKey(const QString &kind, const QString &source, const QString &dest)
{
    return kind + u'\n' + source + u'\n' + dest;
}

} // namespace

AgentNotices::AgentNotices(NoticeBoard *board, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_board(board)
    , m_clock(clock)
{
    if (!m_board)
        return;
    connect(m_board, &NoticeBoard::activated, this, [this](const QString &key) {
        const QStringList parts = key.split(u'\n');
        if (parts.size() == 3 && parts[0] == u"overdue")
            Q_EMIT openJobRequested(parts[1], parts[2]);
    });
}

bool AgentNotices::firstToday(QHash<QString, QDate> &told, const QString &key)
{
    const QDate today = m_clock.now().date();
    if (told.value(key) == today)
        return false;
    told.insert(key, today);
    return true;
}

void AgentNotices::dueJobChecked(const DueResult &result)
{
    if (!m_board)
        return;
    const QString key = jobKey(QStringLiteral("postponed"), result.sourcePath, result.destPath);
    if (result.outcome == DueOutcome::Reported) {
        m_board->withdraw(key);
        return;
    }
    if (!firstToday(m_postponed, key))
        return;
    m_board->show(key, QStringLiteral("Scheduled backup postponed: ") + SkipRecorder::reasonText(result),
                  QStringLiteral("%1 to %2 runs as soon as it can.")
                      .arg(displayNameForPath(result.sourcePath), displayNameForPath(result.destPath)));
}

void AgentNotices::jobChecked(const JobRecord &record, const JobHealth &health)
{
    if (!m_board || !health.overdue)
        return;
    const QString source = JobRecords::sourcePath(record);
    const QString key = jobKey(QStringLiteral("overdue"), source, JobRecords::destPath(record));
    if (!firstToday(m_overdue, key))
        return;
    m_board->show(key, overdueText(source, health.overdueSince, m_clock.now()),
                  QStringLiteral("Connect %1 or open Vellumor to back up now.")
                      .arg(displayNameForPath(JobRecords::destPath(record))),
                  QStringLiteral("Open Vellumor"));
}

QString AgentNotices::overdueText(const QString &sourcePath, const QDateTime &since, const QDateTime &now)
{
    const qint64 days = since.toTimeZone(now.timeZone()).date().daysTo(now.date());
    return QStringLiteral("No backup of %1 for %2")
        .arg(displayNameForPath(sourcePath), days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(days));
}
