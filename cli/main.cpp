// vellumor-cli: one backup or restore from a terminal, driven by the same
// controller as the window.
#include "CommandLine.h"
#include "MFTaskAppDelegate.h"
#include "SnapshotFolders.h"
#include "SnapshotRotation.h"
#include "TerminalView.h"
#include "VolumePresence.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// The engine's diagnostic lines (arguments, paths) are for the system log;
// on a terminal they only show with VELLUMOR_VERBOSE set.
void quietMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const bool verbose = qEnvironmentVariableIsSet("VELLUMOR_VERBOSE");
    if ((type == QtInfoMsg || type == QtDebugMsg) && !verbose)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int exitStatusFor(MFTaskAppDelegate::RunOutcome outcome)
{
    switch (outcome) {
    case MFTaskAppDelegate::RunOutcome::Completed:
        return 0;
    case MFTaskAppDelegate::RunOutcome::Stopped:
        return 130;
    default:
        return 1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessageHandler);
    QCoreApplication::setApplicationName(QStringLiteral("vellumor-cli"));

    const CliJob job = parseCommandLine(app.arguments().mid(1), QDir::currentPath());
    if (!job.error.isEmpty()) {
        std::fprintf(stderr, "vellumor-cli: %s\n\n%s", qPrintable(job.error), qPrintable(usageText()));
        return 2;
    }
    if (job.command == CliJob::Command::Help) {
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty())
        std::fprintf(stderr, "vellumor-cli: warning: rsync is not installed on this system\n");

    // A new destination folder on a present volume is made here: the run
    // itself only accepts destinations that exist or sit on a mounted disk.
    if (!QFileInfo::exists(job.destination)) {
        QString ancestor = job.destination;
        while (!QFileInfo::exists(ancestor) && ancestor != u"/")
            ancestor = QFileInfo(QDir::cleanPath(ancestor)).path();
        if (volumeIsMounted(ancestor) && !QDir().mkpath(job.destination)) {
            std::fprintf(stderr, "vellumor-cli: cannot create the destination %s\n", qPrintable(job.destination));
            return 1;
        }
    }

    TerminalView view(stdout, stderr, ::isatty(STDOUT_FILENO) == 1);
    view.verbose = qEnvironmentVariableIsSet("VELLUMOR_VERBOSE");
    MFTaskAppServices services;
    // A terminal job has no schedule entry to remember its last snapshot, so
    // a Snapshot run links against the newest snapshot already in DEST.
    services.scheduledLinkDest = [](const QString &, const QString &dest) {
        QString newest;
        std::optional<QDateTime> newestDate;
        for (const QString &folder : SnapshotRotation::listSnapshotFolders(dest)) {
            const std::optional<QDateTime> date = SnapshotFolders::snapshotDate(folder);
            if (date && (!newestDate || *date > *newestDate)) {
                newestDate = date;
                newest = folder;
            }
        }
        return newest.isEmpty() ? newest : QDir::cleanPath(newest) + u'/';
    };
    MFTaskAppDelegate controller(&view, services);
    controller.backupSources = job.sources;
    controller.backupDest = job.destination;
    controller.excludedFiles = job.excludedFiles;
    controller.snapshotsToKeep = job.snapshotsToKeep;
    view.setModeRow(job.snapshot ? 1 : 0);

    int exitStatus = 1;
    QObject::connect(&controller, &MFTaskAppDelegate::runFinished, &app,
                     [&](MFTaskAppDelegate::RunOutcome outcome, const QString &detail) {
                         view.close();
                         exitStatus = exitStatusFor(outcome);
                         if (outcome == MFTaskAppDelegate::RunOutcome::Completed)
                             std::printf("Copied to %s\n", qPrintable(controller.linkDest.isEmpty() || !job.snapshot
                                                                          ? controller.backupDest
                                                                          : controller.linkDest));
                         else if (outcome == MFTaskAppDelegate::RunOutcome::Stopped)
                             std::fprintf(stderr, "Stopped.\n");
                         else if (!detail.isEmpty())
                             std::fprintf(stderr, "%s\n", qPrintable(detail));
                         QTimer::singleShot(0, &app, [&app, &exitStatus] { app.exit(exitStatus); });
                     });

    // Ctrl-C and SIGTERM take the stop path: rsync is killed, nothing is left.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pipe2");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (controller.isRunning())
            controller.startButtonClicked();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);

    QTimer::singleShot(0, &controller, [&] {
        if (job.command == CliJob::Command::Restore) {
            view.setChooserAnswers({job.sources.first(), job.destination});
            controller.restoreBackup();
        } else {
            controller.startBackup();
        }
    });
    app.exec();
    if (qEnvironmentVariableIsSet("VELLUMOR_REPORT_PEAK_MEMORY")) {
        // For the benchmark: this process's own peak resident size.
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    std::fprintf(stderr, "peak memory: %s\n", line.mid(6).trimmed().constData());
        }
    }
    return exitStatus;
}
