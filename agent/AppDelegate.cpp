#include "AppDelegate.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "Identifiers.h"
#include "MainAppLauncher.h"
#include "MountWatcher.h"
#include "RunHistory.h"
#include "PowerSource.h"
#include "SharedDefaults.h"
#include "SleepWatcher.h"
#include "SupportFolder.h"
#include "VolumePresence.h"
#include "WakeTimer.h"

#include <QTimer>

#include <optional>

using namespace std::chrono_literals;

QList<std::chrono::milliseconds> AgentServices::defaultDelayedChecks()
{
    return {1s, 5s, 10s, 15s, 20s};
}

AppDelegate::AppDelegate(AgentServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_skips(m_services.history)
    , m_notices(m_services.notices, m_services.clock)
{}

void AppDelegate::applicationDidFinishLaunching(MountWatcher *mounts, SleepWatcher *sleep)
{
    checkForScheduledJobs(QStringLiteral("start"));
    connect(&m_services.timer, &WakeTimer::fired, this, &AppDelegate::timerFireMethod);
    connect(&m_services.timer, &WakeTimer::clockChanged, this, &AppDelegate::clockWasSet);
    connect(&m_services.power, &PowerSource::powerSourceChanged, this, &AppDelegate::powerSourceChanged);
    if (mounts)
        connect(mounts, &MountWatcher::volumesMounted, this, &AppDelegate::diskAppeared);
    if (sleep)
        connect(sleep, &SleepWatcher::woke, this, &AppDelegate::receiveWakeNote);
    m_services.center.addObserver(Vellumor::ScheduleChangedNotification, Vellumor::NotificationObject, this,
                                  [this](const QString &, const QString &) { MainAppNotification(); });
}

QString AppDelegate::scheduleFilePath() const
{
    if (!m_services.scheduleFilePath.isEmpty())
        return m_services.scheduleFilePath;
    return getApplicationSupportFolderForMainApp() + u'/' + Vellumor::ScheduleFileName;
}

CheckReport AppDelegate::checkForScheduledJobs(const QString &trigger)
{
    CheckReport report;
    report.trigger = trigger;
    const ScheduleReadResult file = ScheduleFile(scheduleFilePath(), m_services.clock).read();
    report.fileState = file.state;
    report.fileError = file.error;
    report.jobs = file.records.size();
    if (!file.records.isEmpty()) {
        const ScheduleScan scan = scanSchedule(file.records, m_services.clock.now());
        report.unparsable = int(scan.unparsable.size());
        if (scan.earliestFuture) {
            suspendTimer();
            startTimerThread(scan.earliestFuture->moment);
            report.timerRearmed = true;
        }
        reportDueJobs(file.records, scan.due, report);
        remindOverdueJobs(file.records);
    }
    report.nextWakeUp = m_services.timer.armedFor();
    qInfo().noquote() << report.logLine();
    Q_EMIT checked(report);
    return report;
}

void AppDelegate::reportDueJobs(const QList<JobRecord> &records, const QList<ScheduledRun> &due, CheckReport &report)
{
    // Both settings are read at most once per check, and only when needed:
    // the preference afresh from the shared suite, the power source from
    // UPower.
    std::optional<bool> waitForPower;
    std::optional<bool> onBattery;
    for (const ScheduledRun &run : due) {
        const JobRecord &record = records[run.record];
        DueResult result{JobRecords::sourcePath(record), JobRecords::destPath(record), run.text, DueOutcome::Reported};
        const bool sourcePresent = volumeIsMounted(result.sourcePath);
        const bool destPresent = volumeIsMounted(result.destPath);
        if (!waitForPower)
            waitForPower = SharedDefaults::waitForPowerToBackup(*getUserDefaults());
        if (*waitForPower && !onBattery)
            onBattery = m_services.power.isOnBattery();
        if (*waitForPower && *onBattery) {
            result.outcome = DueOutcome::WaitingForPower;
        } else if (!sourcePresent) {
            result.outcome = DueOutcome::SourceAbsent;
        } else if (!destPresent) {
            result.outcome = DueOutcome::DestinationAbsent;
        } else {
            m_services.center.postNotification(Vellumor::JobToDoNotification, Vellumor::NotificationObject);
            const LaunchOutcome launch = launchMainApp();
            // The first answer of the check is the one worth logging.
            if (report.launch == LaunchOutcome::NotNeeded)
                report.launch = launch;
        }
        m_skips.recordSkip(result, m_services.clock.now());
        m_notices.dueJobChecked(result);
        report.due.append(std::move(result));
    }
}

void AppDelegate::remindOverdueJobs(const QList<JobRecord> &records)
{
    if (!m_services.history || !m_services.notices)
        return;
    const QList<RunRecord> history = m_services.history->read();
    const QDateTime now = m_services.clock.now();
    for (const JobRecord &record : records)
        m_notices.jobChecked(
            record,
            JobHealths::healthOf(history, JobRecords::sourcePath(record), JobRecords::destPath(record), &record, now));
}

bool AppDelegate::volumeIsMounted(const QString &path) const
{
    return m_services.volumes.volumeIsMounted(path);
}

LaunchOutcome AppDelegate::launchMainApp()
{
    if (m_services.launcher.isMainAppRunning())
        return LaunchOutcome::AlreadyRunning;
    return m_services.launcher.launch() ? LaunchOutcome::Started : LaunchOutcome::Failed;
}

void AppDelegate::MainAppNotification()
{
    checkForScheduledJobs(QStringLiteral("SCHEDULECHANGED"));
}

void AppDelegate::receiveWakeNote()
{
    checkForScheduledJobs(QStringLiteral("wake from sleep"));
}

void AppDelegate::powerSourceChanged()
{
    checkForScheduledJobs(QStringLiteral("power source change"));
}

void AppDelegate::clockWasSet()
{
    checkForScheduledJobs(QStringLiteral("clock set"));
}

void AppDelegate::diskAppeared(const QStringList &mountPoints)
{
    const QString mounted = mountPoints.join(QStringLiteral(", "));
    checkForScheduledJobs(QStringLiteral("mount of %1").arg(mounted));
    m_services.center.postNotification(Vellumor::VolumesChangedNotification, Vellumor::NotificationObject);
    for (const std::chrono::milliseconds delay : std::as_const(m_services.delayedChecks)) {
        QTimer::singleShot(delay, this, [this, mounted, delay] {
            checkForScheduledJobs(
                QStringLiteral("mount of %1, %2 s later").arg(mounted).arg(double(delay.count()) / 1000));
        });
    }
}

void AppDelegate::timerFireMethod()
{
    checkForScheduledJobs(QStringLiteral("wake-up timer"));
}

void AppDelegate::suspendTimer()
{
    if (m_services.timer.isArmed())
        m_services.timer.cancel();
}

void AppDelegate::startTimerThread(const QDateTime &date)
{
    m_services.timer.armAt(date);
}
