#include "RunReport.h"

RunReport reportRunEnd(MFTaskAppDelegate::RunOutcome outcome, const QString &detail, const QString &copiedTo,
                       bool runDue)
{
    using Outcome = MFTaskAppDelegate::RunOutcome;
    RunReport report;
    const bool stopped = outcome == Outcome::Stopped;
    if (outcome == Outcome::Completed)
        report.out << QStringLiteral("Copied to %1").arg(copiedTo);
    else if (!detail.isEmpty() && !stopped)
        report.err << detail;
    if (stopped)
        report.err << QStringLiteral("Stopped.");
    const int status = outcome == Outcome::Completed ? 0 : stopped ? 130 : 1;
    // run-due carries on after a run that was not clean, and remembers it.
    report.endsSession = !runDue || stopped;
    if (report.endsSession || status != 0)
        report.exitStatus = status;
    return report;
}
