#include "JobStatusTexts.h"

#include <QLocale>
#include <QTimeZone>
#include <QStringList>

namespace {

const QLocale english(QLocale::English, QLocale::UnitedKingdom);

QString plural(qint64 count, const char *one, const char *many)
{
    return count == 1 ? QLatin1String(one) : QStringLiteral("%1 %2").arg(count).arg(QLatin1String(many));
}

// A failure's cause as it reads after "failed: ": a full disk, refused or
// met, is "out of drive space"; otherwise the first cause without the
// status line's own "Backup failed: " and closing full stop.
QString causeText(const RunRecord &record)
{
    if (record.outcome == RunRecord::Outcome::OutOfSpace)
        return QStringLiteral("out of drive space");
    QString cause = record.cause.simplified();
    const QString prefix = QStringLiteral("Backup failed: ");
    if (cause.startsWith(prefix))
        cause = cause.mid(prefix.size());
    if (cause.endsWith(u'.'))
        cause.chop(1);
    return cause.isEmpty() ? QStringLiteral("unknown cause") : cause;
}

} // namespace

namespace JobStatusTexts {

QString ago(const QDateTime &then, const QDateTime &now)
{
    const qint64 seconds = then.secsTo(now);
    if (seconds < 60)
        return QStringLiteral("just now");
    if (seconds < 3600)
        return QStringLiteral("%1 min ago").arg(seconds / 60);
    if (seconds < 24 * 3600)
        return plural(seconds / 3600, "1 hour", "hours") + QStringLiteral(" ago");
    const qint64 days = then.toTimeZone(now.timeZone()).date().daysTo(now.date());
    if (days <= 1)
        return QStringLiteral("yesterday");
    return QStringLiteral("%1 days ago").arg(days);
}

QString lastBackup(const JobHealth &health, const QDateTime &now)
{
    if (!health.lastGood)
        return QStringLiteral("No backup yet");
    return QStringLiteral("Last backup: ") + ago(health.lastGood->ended, now);
}

QString lastAttempt(const JobHealth &health, const QDateTime &now)
{
    if (!health.lastAttempt || health.lastAttempt->succeeded())
        return {};
    const RunRecord &attempt = *health.lastAttempt;
    const QString when = ago(attempt.ended, now);
    switch (attempt.outcome) {
    case RunRecord::Outcome::Stopped:
        return QStringLiteral("Last attempt stopped, %1").arg(when);
    case RunRecord::Outcome::Skipped:
        return QStringLiteral("Last attempt postponed: %1, %2").arg(attempt.cause, when);
    case RunRecord::Outcome::Failed:
    case RunRecord::Outcome::OutOfSpace:
        return QStringLiteral("Last attempt failed: %1, %2").arg(causeText(attempt), when);
    case RunRecord::Outcome::Succeeded:
    case RunRecord::Outcome::SucceededWithVanished:
        break;
    }
    return {};
}

QString next(const QDateTime &nextRun, const QDateTime &now)
{
    if (!nextRun.isValid())
        return {};
    const QDateTime local = nextRun.toTimeZone(now.timeZone());
    const QString time = english.toString(local.time(), QStringLiteral("HH:mm"));
    const qint64 days = now.date().daysTo(local.date());
    QString day;
    if (days <= 0)
        day = QStringLiteral("today");
    else if (days == 1)
        day = QStringLiteral("tomorrow");
    else if (days < 7)
        day = english.dayName(local.date().dayOfWeek());
    else
        day = english.toString(local.date(), QStringLiteral("d MMM"));
    return QStringLiteral("Next: %1 at %2").arg(day, time);
}

QString absolute(const QDateTime &time, const QDateTime &now)
{
    return english.toString(time.toTimeZone(now.timeZone()), QStringLiteral("ddd d MMM yyyy HH:mm"));
}

QString summary(const JobHealth &health, const QDateTime &now)
{
    QStringList lines{lastBackup(health, now), lastAttempt(health, now), next(health.nextRun, now)};
    lines.removeAll(QString());
    return lines.join(u'\n');
}

} // namespace JobStatusTexts
