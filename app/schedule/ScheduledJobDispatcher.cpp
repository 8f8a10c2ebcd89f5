#include "ScheduledJobDispatcher.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "Identifiers.h"
#include "RunDates.h"
#include "SharedSchedule.h"
#include "VolumePresence.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcDispatch, "vellumor.schedule")

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
    return runDate && runDateIsDue(*runDate, now);
}

qsizetype ScheduledJobDispatcher::indexInQueue(const JobRecord &record) const
{
    // Exact text, as the queue's identity: the same pair typed differently
    // ("/a/b" and "/a/b/") is a different job here.
    const QString source = JobRecords::sourcePath(record);
    const QString dest = JobRecords::destPath(record);
    for (qsizetype index = 0; index < m_jobsToDo.size(); ++index) {
        if (m_jobsToDo.at(index).sourcePath == source && m_jobsToDo.at(index).destPath == dest)
            return index;
    }
    return -1;
}

JobRecord *ScheduledJobDispatcher::liveRecord(const QueuedJob &job) const
{
    // Exact text again: the record this entry was queued from.
    for (qsizetype row = 0; row < m_schedule.count(); ++row) {
        JobRecord &record = m_schedule.recordAt(row);
        if (JobRecords::sourcePath(record) == job.sourcePath && JobRecords::destPath(record) == job.destPath)
            return &record;
    }
    return nullptr;
}

QList<JobRecord> ScheduledJobDispatcher::jobsToDo() const
{
    QList<JobRecord> records;
    for (const QueuedJob &job : m_jobsToDo) {
        const JobRecord *record = liveRecord(job);
        records.append(record ? *record : job.queuedRecord);
    }
    return records;
}

QString ScheduledJobDispatcher::skipReasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::SourceAbsent:
        return QStringLiteral("source absent");
    case SkipReason::DestinationAbsent:
        return QStringLiteral("destination absent");
    case SkipReason::SourceAndDestinationAbsent:
        return QStringLiteral("source and destination absent");
    case SkipReason::RunInProgress:
        return QStringLiteral("another backup is running");
    case SkipReason::WaitingForPower:
        return QStringLiteral("waiting for mains power");
    case SkipReason::DestinationLocked:
        return QStringLiteral("destination locked by another backup");
    case SkipReason::UnsafeDestination:
        return QStringLiteral("the destination is inside the source or would write over it");
    }
    return QString();
}

void ScheduledJobDispatcher::skip(const JobRecord &record, SkipReason reason)
{
    const SkippedJob job{JobRecords::sourcePath(record), JobRecords::destPath(record), reason};
    m_skippedJobs.append(job);
    qCInfo(lcDispatch, "Scheduled job %s to %s skipped: %s", qPrintable(job.sourcePath), qPrintable(job.destPath),
           qPrintable(skipReasonText(reason)));
}

void ScheduledJobDispatcher::checkForScheduledJobs()
{
    const QDateTime now = m_clock.now();
    m_skippedJobs.clear();
    for (qsizetype row = 0; row < m_schedule.count(); ++row) {
        JobRecord &record = m_schedule.recordAt(row);
        const QStringList dates = JobRecords::scheduledDates(record);
        const bool due = std::any_of(dates.cbegin(), dates.cend(),
                                     [&](const QString &text) { return isDue(text, now, m_locale); });
        if (!due)
            continue;
        const bool sourcePresent = m_volumeIsMounted(JobRecords::sourcePath(record));
        const bool destPresent = m_volumeIsMounted(JobRecords::destPath(record));
        if (!sourcePresent || !destPresent) {
            // Stays due until both are present.
            skip(record,
                 !sourcePresent && !destPresent ? SkipReason::SourceAndDestinationAbsent
                     : !sourcePresent           ? SkipReason::SourceAbsent
                                                : SkipReason::DestinationAbsent);
            continue;
        }
        if (m_runCondition) {
            if (const std::optional<SkipReason> reason = m_runCondition(record)) {
                skip(record, *reason);
                continue;
            }
        }
        if (m_runRefusal) {
            if (const QString refusal = m_runRefusal(record); !refusal.isEmpty()) {
                qCWarning(lcDispatch, "Scheduled job %s to %s refused: %s", qPrintable(JobRecords::sourcePath(record)),
                          qPrintable(JobRecords::destPath(record)), qPrintable(refusal));
                skip(record, SkipReason::UnsafeDestination);
                setJobsToFutureDates(record, now, m_locale);
                continue;
            }
        }
        // Rolling moves every past entry, so the record's first due entry
        // settles it; it is queued once and rolled whether queued before or not.
        setJobsToFutureDates(record, now, m_locale);
        if (indexInQueue(record) < 0)
            m_jobsToDo.append({JobRecords::sourcePath(record), JobRecords::destPath(record), record});
    }
    if (!m_schedule.updateSharedArrayAndWriteToFile())
        qWarning("The schedule with the next run dates could not be saved: %s", qPrintable(m_schedule.lastError()));
}

void ScheduledJobDispatcher::runNextScheduledJob()
{
    if (m_jobsToDo.isEmpty())
        return;
    QueuedJob head = m_jobsToDo.constFirst();
    JobRecord *record = liveRecord(head);
    m_controller.loadUIFromDictionary(record ? *record : head.queuedRecord);
    if (!m_controller.isIdle())
        return;
    m_jobsToDo.removeFirst();
    // Loading may have saved the schedule: the record is looked up again.
    record = liveRecord(head);
    // A record that left the schedule receives the run's link destination
    // at its end: it lives here until the next job starts.
    m_runningJob = head;
    m_controller.startBackup(record ? *record : m_runningJob.queuedRecord);
}

void ScheduledJobDispatcher::newJobNotificationFromHelperApp()
{
    if (!m_controller.isIdle()) {
        // The due jobs stay due; the check at the end of the run finds them.
        qCInfo(lcDispatch, "JOBTODO ignored: %s", qPrintable(skipReasonText(SkipReason::RunInProgress)));
        return;
    }
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
