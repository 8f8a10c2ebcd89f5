#include "TerminalSession.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "JobLoader.h"
#include "MFTaskAppDelegate.h"
#include "RunHistory.h"
#include "RunReport.h"
#include "RunSleepGuard.h"
#include "ScheduleCommands.h"
#include "ScheduledJobDispatcher.h"
#include "SleepInhibitor.h"
#include "SleepWatcher.h"
#include "TerminalView.h"
#include "TerminationSignals.h"
#include "UserNotifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// Banners go to the desktop, as the window's do, and their texts to the
// terminal as well.
class TerminalAndDesktopNotifier final : public UserNotifier
{
public:
    explicit TerminalAndDesktopNotifier(TerminalView &view) : m_view(view) {}
    void deliverNotification(const UserNotification &notification) override
    {
        m_view.deliverUserNotification(notification.title, notification.text);
        m_desktop.deliverNotification(notification);
    }

private:
    TerminalView &m_view;
    FreedesktopNotifier m_desktop;
};

// The pair's recorded snapshot; without a record (or with one naming a
// folder that is gone) the run links against the newest complete snapshot
// of the same job in DEST.
MFTaskAppServices servicesFor(SharedSchedule &schedule, UserNotifier &notifier, const RunHistory &history, bool runDue)
{
    MFTaskAppServices services;
    services.schedule = &schedule;
    services.runHistory = &history;
    services.notifier = &notifier;
    // A terminal backup saves its job but leaves due jobs to run-due.
    services.dispatchScheduledJobs = runDue;
    services.scheduledLinkDest = [&schedule](const QString &source, const QString &dest) {
        const JobRecord *record = schedule.matchingDictionaryForSourceAndDestExists(source, dest);
        return record ? JobRecords::linkDest(*record) : QString();
    };
    return services;
}

// The job as the window would hold it: the command line's request, and for a
// pair already scheduled its weekdays, time and (unless given) count.
void loadRequest(MFTaskAppDelegate &controller, TerminalView &view, SharedSchedule &schedule, const CliJob &job)
{
    controller.backupSources = job.sources;
    controller.backupDest = job.destination;
    controller.excludedFiles = job.excludedFiles;
    controller.snapshotsToKeep = job.snapshotsToKeep;
    controller.fastSnapshotsRequested = job.fast;
    // --thin or --keep chooses the job's rule; without either the saved one holds.
    if (job.thinning || job.snapshotsToKeepGiven)
        controller.thinning = ThinningChoice{job.thinning};
    view.setModeRow(job.snapshot ? 1 : 0);
    view.snapshotsText = QString::number(job.snapshotsToKeep);
    if (job.command != CliJob::Command::Backup || job.sources.isEmpty())
        return;
    // Saved again at completion with the pair's weekdays, time and count.
    const JobRecord *record = schedule.matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination);
    if (!record)
        return;
    showSavedSchedule(view, *record);
    if (job.snapshotsToKeepGiven)
        view.snapshotsText = QString::number(job.snapshotsToKeep);
    else
        controller.snapshotsToKeep = int(JobLoader::loadedJobFromRecord(*record).snapshotLimit);
}

// A due job run-due could not run goes into the history as skipped, with why.
void recordSkip(const RunHistory &history, const SkippedJob &skipped)
{
    RunRecord record;
    record.sourcePath = skipped.sourcePath;
    record.destPath = skipped.destPath;
    record.started = record.ended = Clock::system().now();
    record.outcome = RunRecord::Outcome::Skipped;
    record.cause = ScheduledJobDispatcher::skipReasonText(skipped.reason);
    history.append(record);
}

void start(QCoreApplication &app, MFTaskAppDelegate &controller, TerminalView &view, const CliJob &job,
           const RunHistory &history)
{
    if (job.command == CliJob::Command::RunDue) {
        DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
        controller.dispatcher()->applicationDidFinishLaunching({ScheduledJobDispatcher::daemonLaunchedArgument()},
                                                               center.isConnected() ? &center : nullptr);
        for (const SkippedJob &skipped : controller.dispatcher()->skippedJobs()) {
            std::printf("Skipped %s to %s: %s\n", qPrintable(skipped.sourcePath), qPrintable(skipped.destPath),
                        qPrintable(ScheduledJobDispatcher::skipReasonText(skipped.reason)));
            recordSkip(history, skipped);
        }
        if (!controller.dispatcher()->quitWhenAllDone() && !controller.isRunning()) {
            std::printf("Nothing to do.\n");
            app.exit(0);
        }
    } else if (job.command == CliJob::Command::Restore) {
        view.setChooserAnswers({job.sources.first(), job.destination});
        controller.restoreBackup();
    } else {
        controller.startBackup();
    }
}

void print(std::FILE *stream, const QStringList &lines)
{
    for (const QString &line : lines)
        std::fprintf(stream, "%s\n", qPrintable(line));
}

} // namespace

int runTerminalSession(QCoreApplication &app, const CliJob &job)
{
    const bool runDue = job.command == CliJob::Command::RunDue;
    TerminalView view(stdout, stderr, ::isatty(STDOUT_FILENO) == 1);
    view.verbose = qEnvironmentVariableIsSet("VELLUMOR_VERBOSE");
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    TerminalAndDesktopNotifier notifier(view);
    const RunHistory history(RunHistory::defaultPath());
    MFTaskAppDelegate controller(&view, servicesFor(*schedule, notifier, history, runDue));
    loadRequest(controller, view, *schedule, job);

    int exitStatus = runDue ? 0 : 1;
    const auto quit
        = [&app, &exitStatus] { QTimer::singleShot(0, &app, [&app, &exitStatus] { app.exit(exitStatus); }); };
    // As a start by the agent: the application quits once the queue is drained.
    if (runDue)
        view.onTerminate = quit;
    QObject::connect(&controller, &MFTaskAppDelegate::runFinished, &app,
                     [&](MFTaskAppDelegate::RunOutcome outcome, const QString &detail) {
                         // After the texts the run queued (its final count and
                         // completion text), so they are printed first.
                         QTimer::singleShot(0, &app, [&, outcome, detail] {
                             view.close();
                             // A Snapshot run's new folder, which completion has
                             // just made the link destination, or the destination.
                             const bool snapshot = view.selectedModeRow() == 1 && !controller.linkDest.isEmpty();
                             const RunReport report = reportRunEnd(
                                 outcome, detail, snapshot ? controller.linkDest : controller.backupDest, runDue);
                             print(stdout, report.out);
                             print(stderr, report.err);
                             exitStatus = report.exitStatus.value_or(exitStatus);
                             if (report.endsSession)
                                 quit();
                             else
                                 view.reopen();
                         });
                     });
    // The machine stays awake while a run is active; a sleep that comes
    // anyway during run-due stops the copy cleanly first.
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    SleepInhibitor inhibitor(systemBus);
    SleepWatcher sleep(systemBus);
    RunSleepGuard sleepGuard(inhibitor, &sleep, [&controller] { controller.stop(); });
    RunSleepGuard::guardRunsOf(controller, sleepGuard);
    // Ctrl-C takes the controller's stop path, so rsync is ended and nothing
    // is left running.
    const TerminationSignals stopSignals;
    QObject::connect(&stopSignals, &TerminationSignals::received, &controller, [&controller] {
        if (controller.isRunning())
            controller.startButtonClicked();
    });
    if (!stopSignals.isInstalled()) {
        std::perror("pipe2");
        return 1;
    }
    QTimer::singleShot(0, &controller, [&] { start(app, controller, view, job, history); });
    app.exec();
    return exitStatus;
}

QByteArray peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed();
    return {};
}
