#include "RunReport.h"

RunReport reportRunEnd(MFTaskAppDelegate::RunOutcome outcome, const QString &detail, const QString &copiedTo,
                       bool runDue)
{
    using Outcome = MFTaskAppDelegate::RunOutcome;
    RunReport report;
    const bool stopped = outcome == Outcome::Stopped;
    // Only a copy program that succeeded (24, files vanished on the way,
    // included) is a clean run; everything else ends with 1.
    const bool succeeded = outcome == Outcome::Completed || outcome == Outcome::CompletedWithNote;
    if (succeeded)
        report.out << QStringLiteral("Copied to %1").arg(copiedTo);
    else if (!detail.isEmpty() && !stopped)
        report.err << detail;
    if (stopped)
        report.err << QStringLiteral("Stopped.");
    const int status = succeeded ? 0 : stopped ? 130 : 1;
    // run-due carries on after a run that was not clean, and remembers it.
    report.endsSession = !runDue || stopped;
    if (report.endsSession || status != 0)
        report.exitStatus = status;
    return report;
}
