// vellumor-cli: backups, restores and the schedule from a terminal, driven
// by the same controller as the window. main() only dispatches: one
// function per command.
#include "CheckAndSetAuthorization.h"
#include "CommandLine.h"
#include "PruneCommand.h"
#include "ScheduleCommands.h"
#include "StatusCommand.h"
#include "TerminalSession.h"
#include "VolumePresence.h"
#include "VolumeTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>

namespace {

// The engine's diagnostic lines (arguments, paths) are for the system log;
// on a terminal they only show with VELLUMOR_VERBOSE set.
void quietMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const bool verbose = qEnvironmentVariableIsSet("VELLUMOR_VERBOSE");
    if ((type == QtInfoMsg || type == QtDebugMsg) && !verbose)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int runBackup(QCoreApplication &app, const CliJob &job)
{
    if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty())
        std::fprintf(stderr, "vellumor-cli: warning: rsync is not installed on this system\n");
    if (const QString notice = CheckAndSetAuthorization::takeRightsNotice(); !notice.isEmpty())
        std::fprintf(stderr, "vellumor-cli: %s\n", qPrintable(notice));
    // The run itself only accepts destinations that exist or sit on a mounted disk.
    if (job.command != CliJob::Command::RunDue
        && !makeDestinationOnPresentVolume(job.destination,
                                           [](const QString &path) { return volumeIsMounted(path); })) {
        std::fprintf(stderr, "vellumor-cli: cannot create the destination %s\n", qPrintable(job.destination));
        return 1;
    }
    const int exitStatus = runTerminalSession(app, job);
    if (qEnvironmentVariableIsSet("VELLUMOR_REPORT_PEAK_MEMORY"))
        std::fprintf(stderr, "peak memory: %s\n", peakMemory().constData());
    return exitStatus;
}

} // namespace

int main(int argc, char **argv)
{
    // A reader that went away (`| head`) must not end a backup midway: writes
    // to it fail with EPIPE instead, and the run ends with its own status.
    // Children start with every signal at its default (MFTask).
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessageHandler);
    QCoreApplication::setApplicationName(QStringLiteral("vellumor-cli"));

    const CliJob job = parseCommandLine(app.arguments().mid(1), QDir::currentPath());
    if (!job.error.isEmpty()) {
        std::fprintf(stderr, "vellumor-cli: %s\n\n%s", qPrintable(job.error), qPrintable(usageText()));
        return 2;
    }
    switch (job.command) {
    case CliJob::Command::Help:
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    case CliJob::Command::List:
        return listSchedule();
    case CliJob::Command::Schedule:
        return scheduleJob(job);
    case CliJob::Command::Prune:
        return pruneJob(job);
    case CliJob::Command::Status:
        return printStatus();
    case CliJob::Command::Log:
        return printLog(job);
    case CliJob::Command::Backup:
    case CliJob::Command::Restore:
    case CliJob::Command::RunDue:
        return runBackup(app, job);
    }
    return 2;
}
