#include "StatusCommand.h"

#include "Clock.h"
#include "HumanReadableFormatters.h"
#include "JobHealth.h"
#include "JobLoader.h"
#include "RunHistory.h"
#include "ScheduleCommands.h"
#include "SnapshotRotation.h"
#include "TextColumns.h"
#include "VolumePresence.h"

#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#include <cstdio>

namespace {

QString timeText(const QDateTime &time)
{
    return time.isValid() ? QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString outcomeText(const RunRecord &record)
{
    QString text = timeText(record.ended) + u' ' + RunRecords::outcomeWord(record.outcome);
    if (!record.cause.isEmpty())
        text += QStringLiteral(": ") + record.cause.simplified();
    return text;
}

struct Pair
{
    QString source;
    QString dest;
    const JobRecord *record = nullptr;
};

// The saved jobs in the schedule's order, then the pairs only the history knows.
QList<Pair> pairsOf(const QList<JobRecord> &saved, const QList<RunRecord> &history)
{
    QList<Pair> pairs;
    for (const JobRecord &record : saved)
        pairs.append({JobRecords::sourcePath(record), JobRecords::destPath(record), &record});
    for (const RunRecord &run : history) {
        const bool known = std::any_of(pairs.cbegin(), pairs.cend(),
                                       [&run](const Pair &pair) { return run.isFor(pair.source, pair.dest); });
        if (!known)
            pairs.append({run.sourcePath, run.destPath, nullptr});
    }
    return pairs;
}

QString snapshotsText(const Pair &pair, const QList<JobRecord> &saved, const QDateTime &now)
{
    if (!pair.record || !JobRecords::hardlinks(*pair.record) || !QFileInfo(pair.dest).isDir())
        return QStringLiteral("-");
    const RetentionRule rule(JobLoader::loadedJobFromRecord(*pair.record).snapshotLimit,
                             JobRecords::thinning(*pair.record));
    return QString::number(SnapshotRotation::prunePlanForJob(saved, pair.source, pair.dest, rule, now).size());
}

QString freeSpaceText(const QString &dest)
{
    if (!volumeIsMounted(dest) || !QFileInfo(dest).isDir())
        return QStringLiteral("absent");
    const QStorageInfo storage(dest);
    return storage.isValid() ? HumanReadableFileSize::textForNumber(double(storage.bytesAvailable()))
                             : QStringLiteral("-");
}

} // namespace

int printStatus()
{
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    const QList<JobRecord> saved = schedule->sharedParams();
    const QList<RunRecord> history = RunHistory(RunHistory::defaultPath()).read();
    const QDateTime now = Clock::system().now();
    const QList<Pair> pairs = pairsOf(saved, history);
    if (pairs.isEmpty()) {
        std::printf("No jobs.\n");
        return 0;
    }
    QList<QStringList> rows{{QStringLiteral("Source"), QStringLiteral("Destination"), QStringLiteral("Last backup"),
                             QStringLiteral("Last attempt"), QStringLiteral("Next run"), QStringLiteral("Snapshots"),
                             QStringLiteral("Free")}};
    bool attention = false;
    for (const Pair &pair : pairs) {
        const JobHealth health = JobHealths::healthOf(history, pair.source, pair.dest, pair.record, now);
        attention = attention || health.needsAttention();
        QString lastGood = health.lastGood ? timeText(health.lastGood->ended) : QStringLiteral("never");
        if (health.overdue)
            lastGood += QStringLiteral(" (overdue)");
        rows.append({pair.source, pair.dest, lastGood,
                     health.lastAttempt ? outcomeText(*health.lastAttempt) : QStringLiteral("-"),
                     health.nextRun.isValid() ? timeText(health.nextRun) : QStringLiteral("-"),
                     snapshotsText(pair, saved, now), freeSpaceText(pair.dest)});
    }
    printColumns(rows);
    return attention ? 1 : 0;
}

int printLog(const CliJob &job)
{
    const QList<RunRecord> history = RunHistory(RunHistory::defaultPath()).read();
    const qsizetype first = job.logLines > 0 ? std::max<qsizetype>(0, history.size() - job.logLines) : 0;
    for (qsizetype i = first; i < history.size(); ++i) {
        const RunRecord &run = history.at(i);
        QString line = QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6 files\t%7")
                           .arg(timeText(run.ended), RunRecords::kindWord(run.kind),
                                RunRecords::outcomeWord(run.outcome), run.sourcePath, run.destPath)
                           .arg(run.files)
                           .arg(HumanReadableFileSize::textForNumber(double(run.bytes)));
        if (!run.snapshot.isEmpty())
            line += u'\t' + run.snapshot;
        if (!run.cause.isEmpty())
            line += u'\t' + run.cause.simplified();
        std::printf("%s\n", qPrintable(line));
    }
    return 0;
}
