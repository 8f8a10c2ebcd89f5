#include "ScheduledJobDispatcher.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "Identifiers.h"
#include "RunDates.h"
#include "SharedSchedule.h"
#include "VolumePresence.h"

#include <algorithm>

ScheduledJobDispatcher::ScheduledJobDispatcher(SharedSchedule &schedule, DispatchController &controller,
                                               const Clock &clock, VolumeTest volumeIsMounted, const QLocale &locale,
                                               QObject *parent)
    : QObject(parent)
    , m_schedule(schedule)
    , m_controller(controller)
    , m_clock(clock)
    , m_volumeIsMounted(std::move(volumeIsMounted))
    , m_locale(locale)
{
    if (!m_volumeIsMounted)
        m_volumeIsMounted = [](const QString &path) { return ::volumeIsMounted(path); };
}

bool ScheduledJobDispatcher::isDue(const QString &runDateText, const QDateTime &now, const QLocale &locale)
{
    const std::optional<RunDate> runDate = parseRunDate(runDateText, locale);
    return runDate && runDateMoment(*runDate, now.timeZone()) < now;
}

qsizetype ScheduledJobDispatcher::indexInQueue(const JobRecord &record) const
{
    // Exact text, as the queue's identity: the same pair typed differently
    // ("/a/b" and "/a/b/") is a different job here.
    const QString source = JobRecords::sourcePath(record);
    const QString dest = JobRecords::destPath(record);
    for (qsizetype index = 0; index < m_jobsToDo.size(); ++index) {
        if (JobRecords::sourcePath(m_jobsToDo.at(index)) == source
            && JobRecords::destPath(m_jobsToDo.at(index)) == dest)
            return index;
    }
    return -1;
}

void ScheduledJobDispatcher::checkForScheduledJobs()
{
    const QDateTime now = m_clock.now();
    for (qsizetype row = 0; row < m_schedule.count(); ++row) {
        JobRecord &record = m_schedule.recordAt(row);
        const QStringList dates = JobRecords::scheduledDates(record);
        const bool due = std::any_of(dates.cbegin(), dates.cend(),
                                     [&](const QString &text) { return isDue(text, now, m_locale); });
        if (!due)
            continue;
        if (!m_volumeIsMounted(JobRecords::sourcePath(record)) || !m_volumeIsMounted(JobRecords::destPath(record)))
            continue; // stays due until both are present
        // Rolling moves every past entry, so the record's first due entry
        // settles it; it is queued once and rolled whether queued before or not.
        setJobsToFutureDates(record, now, m_locale);
        if (indexInQueue(record) < 0)
            m_jobsToDo.append(record);
    }
    if (!m_schedule.updateSharedArrayAndWriteToFile())
        qWarning("The schedule with the next run dates could not be saved: %s", qPrintable(m_schedule.lastError()));
}

void ScheduledJobDispatcher::runNextScheduledJob()
{
    if (m_jobsToDo.isEmpty())
        return;
    JobRecord head = m_jobsToDo.constFirst();
    // Exact text again: the record this entry was queued from.
    for (const JobRecord &current : m_schedule.sharedParams()) {
        if (JobRecords::sourcePath(current) == JobRecords::sourcePath(head)
            && JobRecords::destPath(current) == JobRecords::destPath(head)) {
            head = current;
            break;
        }
    }
    m_controller.loadUIFromDictionary(head);
    if (!m_controller.isIdle())
        return;
    m_jobsToDo.removeFirst();
    m_controller.startBackup(head);
}

void ScheduledJobDispatcher::newJobNotificationFromHelperApp()
{
    if (!m_controller.isIdle())
        return;
    checkForScheduledJobs();
    runNextScheduledJob();
}

void ScheduledJobDispatcher::applicationDidFinishLaunching(const QStringList &arguments,
                                                           DistributedNotificationCenter *center)
{
    m_jobsToDo.clear();
    checkForScheduledJobs();
    if (!m_jobsToDo.isEmpty() && arguments.contains(daemonLaunchedArgument()))
        m_quitWhenAllDone = true;
    runNextScheduledJob();
    if (center)
        observeJobToDo(*center);
}

void ScheduledJobDispatcher::observeJobToDo(DistributedNotificationCenter &center)
{
    center.addObserver(Vellumor::JobToDoNotification, Vellumor::NotificationObject, this,
                       [this](const QString &, const QString &) { newJobNotificationFromHelperApp(); });
}

bool ScheduledJobDispatcher::continueAfterRun()
{
    runNextScheduledJob();
    checkForScheduledJobs();
    runNextScheduledJob();
    if (m_controller.isIdle() && m_jobsToDo.isEmpty() && m_quitWhenAllDone) {
        m_controller.terminateApplication();
        return true;
    }
    return false;
}
