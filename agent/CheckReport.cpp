#include "CheckReport.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace {

QString outcomeText(DueOutcome outcome)
{
    switch (outcome) {
    case DueOutcome::Reported:
        return QStringLiteral("reported");
    case DueOutcome::WaitingForPower:
        return QStringLiteral("skipped, waiting for external power");
    case DueOutcome::SourceAbsent:
        return QStringLiteral("skipped, source not present (disk not attached or folder missing)");
    case DueOutcome::DestinationAbsent:
        return QStringLiteral("skipped, destination not present (disk not attached or folder missing)");
    }
    return QString();
}

QString launchText(LaunchOutcome launch)
{
    switch (launch) {
    case LaunchOutcome::NotNeeded:
        return QString();
    case LaunchOutcome::AlreadyRunning:
        return QStringLiteral("; application already running");
    case LaunchOutcome::Started:
        return QStringLiteral("; application started");
    case LaunchOutcome::Failed:
        return QStringLiteral("; application could not be started");
    }
    return QString();
}

QString scheduleText(const CheckReport &report)
{
    switch (report.fileState) {
    case ScheduleReadResult::State::Missing:
        return QStringLiteral("no schedule file");
    case ScheduleReadResult::State::Empty:
        return QStringLiteral("schedule file empty");
    case ScheduleReadResult::State::Unreadable:
        return QStringLiteral("schedule unreadable (%1)").arg(report.fileError);
    case ScheduleReadResult::State::Read:
        break;
    }
    QString text = report.jobs == 1 ? QStringLiteral("1 job") : QStringLiteral("%1 jobs").arg(report.jobs);
    if (report.unparsable > 0)
        text += QStringLiteral(", %1 run date(s) not understood").arg(report.unparsable);
    return text;
}

QString dueText(const CheckReport &report)
{
    if (report.due.isEmpty())
        return QStringLiteral("nothing due");
    QStringList parts;
    for (const DueResult &due : report.due)
        parts.append(QStringLiteral("\"%1\" -> \"%2\" (%3) %4")
                         .arg(due.sourcePath, due.destPath, due.runDate, outcomeText(due.outcome)));
    return QStringLiteral("due: ") + parts.join(QStringLiteral(", "));
}

QString wakeUpText(const CheckReport &report)
{
    if (!report.nextWakeUp.isValid())
        return QStringLiteral("no wake-up pending");
    const QString when = QLocale::c().toString(report.nextWakeUp, QStringLiteral("yyyy-MM-dd HH:mm t"));
    return QStringLiteral("next wake-up %1%2").arg(when, report.timerRearmed ? QString() : QStringLiteral(" (kept)"));
}

} // namespace

qsizetype CheckReport::reportedCount() const
{
    return std::count_if(due.cbegin(), due.cend(),
                         [](const DueResult &result) { return result.outcome == DueOutcome::Reported; });
}

QString CheckReport::logLine() const
{
    QString line = QStringLiteral("check after %1: %2").arg(trigger, scheduleText(*this));
    if (fileState == ScheduleReadResult::State::Read)
        line += QStringLiteral("; ") + dueText(*this) + launchText(launch);
    return line + QStringLiteral("; ") + wakeUpText(*this);
}
