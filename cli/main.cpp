// vellumor-cli: one backup or restore from a terminal, driven by the same
// controller as the window.
#include "Clock.h"
#include "CommandLine.h"
#include "DistributedNotificationCenter.h"
#include "JobLoader.h"
#include "RunDates.h"
#include "MFTaskAppDelegate.h"
#include "ScheduleEntry.h"
#include "ScheduleListColumns.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "SupportFolder.h"
#include "TerminalView.h"
#include "UserNotifications.h"
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
#include <memory>
#include <optional>
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
    // 1 for every run whose copy program did not succeed (or never ran).
    switch (outcome) {
    case MFTaskAppDelegate::RunOutcome::Completed:
    case MFTaskAppDelegate::RunOutcome::CompletedWithNote:
        return 0;
    case MFTaskAppDelegate::RunOutcome::Stopped:
        return 130;
    default:
        return 1;
    }
}

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

// The schedule as the application keeps it: read once from the support
// folder; every save rewrites the file and tells the agent.
std::unique_ptr<SharedSchedule> loadSchedule()
{
    auto schedule = std::make_unique<SharedSchedule>(ScheduleFile(scheduleFilePath(), Clock::system()),
                                                     DistributedNotificationCenter::defaultCenter());
    schedule->loadFromFileIfEmpty();
    return schedule;
}

// The pair's stored link destination when it still exists, for a job saved
// again from the terminal (as the window keeps it when the job is loaded).
std::optional<QString> existingLinkDest(SharedSchedule &schedule, const QString &source, const QString &dest)
{
    const JobRecord *record = schedule.matchingDictionaryForSourceAndDestExists(source, dest);
    const QString linkDest = record ? JobRecords::linkDest(*record) : QString();
    if (linkDest.isEmpty() || !QFileInfo::exists(linkDest))
        return std::nullopt;
    return linkDest;
}

// Shows the pair's saved weekdays, time and count in the view, so a save
// after a terminal run keeps the job's schedule as it was.
void showSavedSchedule(TerminalView &view, const JobRecord &record)
{
    view.days = {};
    const QStringList dates = JobRecords::scheduledDates(record);
    for (const QString &text : dates) {
        if (const std::optional<RunDate> date = parseRunDate(text)) {
            view.days[controlWeekDayForCalendarWeekDay(date->date.dayOfWeek() % 7 + 1)] = true;
            if (text == dates.constFirst())
                view.time = date->time;
        }
    }
    view.snapshotsText = JobLoader::snapshotsToKeepText(JobRecords::snapshotsToKeep(record));
}

int listSchedule()
{
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    if (schedule->count() == 0) {
        std::printf("No scheduled jobs.\n");
        return 0;
    }
    const QStringList header{QStringLiteral("Source"), QStringLiteral("Destination"), QStringLiteral("Days"),
                             QStringLiteral("Type"), QStringLiteral("Time")};
    QList<QStringList> rows{header};
    for (const JobRecord &record : schedule->sharedParams())
        rows.append({ScheduleListColumns::sourceText(record), ScheduleListColumns::destinationText(record),
                     ScheduleListColumns::daysText(record).trimmed(), ScheduleListColumns::typeText(record),
                     ScheduleListColumns::timeText(record).value_or(QString())});
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList &row : std::as_const(rows))
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row.at(column).size());
    for (const QStringList &row : std::as_const(rows)) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row.at(column).leftJustified(widths[column] + 2) : row.at(column);
        std::printf("%s\n", qPrintable(line.trimmed()));
    }
    return 0;
}

int scheduleJob(const CliJob &job)
{
    // A job whose destination folder is missing would count as absent at
    // every check and never run: the folder is made now, or the job refused.
    const ScheduleEntry::DestinationResult folder = ScheduleEntry::prepareDestinationFolder(
        job.destination, [](const QString &path) { return volumeIsMounted(path); });
    if (folder.state == ScheduleEntry::DestinationFolder::CannotCreate) {
        std::fprintf(stderr, "vellumor-cli: the job was not scheduled: %s\n", qPrintable(folder.error));
        return 1;
    }
    if (folder.state == ScheduleEntry::DestinationFolder::OnAbsentVolume)
        std::fprintf(stderr, "vellumor-cli: %s is on a disk that is not attached; the job runs once it is\n",
                     qPrintable(job.destination));
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    TerminalView view(stdout, stderr, false);
    view.setModeRow(job.snapshot ? 1 : 0);
    view.days = job.days;
    view.time = job.time;
    const JobRecord *existing
        = schedule->matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination);
    view.snapshotsText = job.snapshotsToKeepGiven ? QString::number(job.snapshotsToKeep)
        : existing ? JobLoader::snapshotsToKeepText(JobRecords::snapshotsToKeep(*existing))
                   : QString::number(DefaultSnapshotsToKeep);
    ScheduledJobSettings settings;
    settings.backupSources = job.sources;
    settings.backupDest = job.destination;
    settings.excludedFiles = job.excludedFiles;
    // A Snapshot job keeps its chain: the next run links against the last snapshot.
    if (job.snapshot)
        settings.linkDest = existingLinkDest(*schedule, job.sources.first(), job.destination);
    ScheduleEntry entry(*schedule, Clock::system());
    const ScheduleSaveResult result = entry.addToScheduleClicked(view, settings);
    if (!result.fileWritten) {
        std::fprintf(stderr, "vellumor-cli: the schedule was not saved: %s\n", qPrintable(result.error));
        return 1;
    }
    const JobRecord *saved = schedule->matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination);
    std::printf("Scheduled %s to %s: %s, %s at %s\n", qPrintable(job.sources.first()), qPrintable(job.destination),
                qPrintable(ScheduleListColumns::typeText(*saved)),
                qPrintable(ScheduleListColumns::daysText(*saved).trimmed()),
                qPrintable(ScheduleListColumns::timeText(*saved).value_or(QString())));
    return 0;
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
    if (job.command == CliJob::Command::List)
        return listSchedule();
    if (job.command == CliJob::Command::Schedule)
        return scheduleJob(job);
    if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty())
        std::fprintf(stderr, "vellumor-cli: warning: rsync is not installed on this system\n");
    if (const QString notice = CheckAndSetAuthorization::takeRightsNotice(); !notice.isEmpty())
        std::fprintf(stderr, "vellumor-cli: %s\n", qPrintable(notice));
    const bool runDue = job.command == CliJob::Command::RunDue;

    // A new destination folder on a present volume is made here: the run
    // itself only accepts destinations that exist or sit on a mounted disk.
    if (!runDue && !QFileInfo::exists(job.destination)) {
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
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    TerminalAndDesktopNotifier notifier(view);
    MFTaskAppServices services;
    services.schedule = schedule.get();
    services.notifier = &notifier;
    // A terminal backup saves its job but leaves due jobs to run-due.
    services.dispatchScheduledJobs = runDue;
    // The pair's recorded snapshot; without a record (or with one naming a
    // folder that is gone) the run links against the newest complete
    // snapshot of the same job in DEST (SnapshotSession).
    services.scheduledLinkDest = [&schedule](const QString &source, const QString &dest) {
        const JobRecord *record = schedule->matchingDictionaryForSourceAndDestExists(source, dest);
        return record ? JobRecords::linkDest(*record) : QString();
    };
    MFTaskAppDelegate controller(&view, services);
    controller.backupSources = job.sources;
    controller.backupDest = job.destination;
    controller.excludedFiles = job.excludedFiles;
    controller.snapshotsToKeep = job.snapshotsToKeep;
    view.setModeRow(job.snapshot ? 1 : 0);
    view.snapshotsText = QString::number(job.snapshotsToKeep);
    if (job.command == CliJob::Command::Backup && !job.sources.isEmpty()) {
        // Saved again at completion with the pair's weekdays, time and count.
        if (const JobRecord *record
            = schedule->matchingDictionaryForSourceAndDestExists(job.sources.first(), job.destination)) {
            showSavedSchedule(view, *record);
            if (job.snapshotsToKeepGiven)
                view.snapshotsText = QString::number(job.snapshotsToKeep);
            else
                controller.snapshotsToKeep = int(JobLoader::loadedJobFromRecord(*record).snapshotLimit);
        }
    }

    // Where the copy went: a Snapshot run's new folder, which completion has
    // just made the link destination, or the destination itself.
    const auto copiedTo = [&controller, &view] {
        const bool snapshot = view.selectedModeRow() == 1 && !controller.linkDest.isEmpty();
        return snapshot ? controller.linkDest : controller.backupDest;
    };

    int exitStatus = 1;
    if (runDue) {
        // As a start by the agent: each due job in turn, quit when drained.
        exitStatus = 0;
        view.onTerminate
            = [&app, &exitStatus] { QTimer::singleShot(0, &app, [&app, &exitStatus] { app.exit(exitStatus); }); };
        QObject::connect(&controller, &MFTaskAppDelegate::runFinished, &app,
                         [&](MFTaskAppDelegate::RunOutcome outcome, const QString &detail) {
                             view.close();
                             if (exitStatusFor(outcome) == 0)
                                 std::printf("Copied to %s\n", qPrintable(copiedTo()));
                             else if (!detail.isEmpty())
                                 std::fprintf(stderr, "%s\n", qPrintable(detail));
                             if (outcome == MFTaskAppDelegate::RunOutcome::Stopped) {
                                 std::fprintf(stderr, "Stopped.\n");
                                 exitStatus = exitStatusFor(outcome);
                                 QTimer::singleShot(0, &app, [&app, &exitStatus] { app.exit(exitStatus); });
                                 return;
                             }
                             if (exitStatusFor(outcome) != 0)
                                 exitStatus = 1;
                             view.reopen();
                         });
    } else {
        QObject::connect(&controller, &MFTaskAppDelegate::runFinished, &app,
                         [&](MFTaskAppDelegate::RunOutcome outcome, const QString &detail) {
                             exitStatus = exitStatusFor(outcome);
                             // After the texts the run queued (its final count
                             // and completion text), so they are printed.
                             QTimer::singleShot(0, &app, [&, outcome, detail] {
                                 view.close();
                                 if (exitStatus == 0)
                                     std::printf("Copied to %s\n", qPrintable(copiedTo()));
                                 else if (outcome == MFTaskAppDelegate::RunOutcome::Stopped)
                                     std::fprintf(stderr, "Stopped.\n");
                                 else if (!detail.isEmpty())
                                     std::fprintf(stderr, "%s\n", qPrintable(detail));
                                 app.exit(exitStatus);
                             });
                         });
    }

    // Ctrl-C and SIGTERM take the stop path: rsync is killed, nothing is left.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pipe2");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {}
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
        if (runDue) {
            DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
            controller.dispatcher()->applicationDidFinishLaunching({ScheduledJobDispatcher::daemonLaunchedArgument()},
                                                                   center.isConnected() ? &center : nullptr);
            for (const SkippedJob &skipped : controller.dispatcher()->skippedJobs())
                std::printf("Skipped %s to %s: %s\n", qPrintable(skipped.sourcePath), qPrintable(skipped.destPath),
                            qPrintable(ScheduledJobDispatcher::skipReasonText(skipped.reason)));
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
