#pragma once

// The main application's side of scheduling: finds jobs whose run date has
// passed and whose source and destination are present, queues them
// (jobsToDo), rolls their dates forward and saves at once, and runs them one
// after another through the controller. Driven by start-up, by "JOBTODO"
// from the agent and by the end of every run.
//
// What callers may rely on:
//  - one due date leads to one run: a pair (same "sourcePath" and
//    "destPath" text) is queued at most once, and its past dates are rolled
//    forward and written in the same check, so no later check (here or in
//    the agent, which re-reads the file on "SCHEDULECHANGED") finds that
//    date due again;
//  - every check rewrites the schedule file and posts "SCHEDULECHANGED",
//    also when nothing was due or the schedule is empty;
//  - a job whose source or destination is absent is neither queued nor
//    rolled: it stays due until both are present; every check lists each due
//    job it skipped and why (skippedJobs()) and logs it, and "JOBTODO"
//    ignored during a run is logged too;
//  - nothing starts while a run is in progress; "JOBTODO" is then ignored
//    and the job is found by the check at the end of the run;
//  - the queue holds the pairs, not copies: jobsToDo() and the job that
//    starts are the schedule's own records as they are now (rolled dates and
//    link destination included), and startBackup() is given that very
//    record, to change in place; a pair that left the schedule runs from the
//    record it was queued with;
//  - the head of the queue leaves it before the controller is asked to start
//    it, so a start that ends at once and calls back into dispatch never
//    runs the same job twice;
//  - after a start with "daemonLaunched" and something to do, the
//    application is asked to quit once the queue is drained and the window
//    is idle.
// Main thread only; no locks.

#include "JobRecord.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class Clock;
class DistributedNotificationCenter;
class SharedSchedule;

// What dispatch needs from the controller.
class DispatchController
{
public:
    virtual ~DispatchController() = default;
    // No run is in progress.
    virtual bool isIdle() const = 0;
    // Shows the job and makes it the current one (nothing while running).
    virtual void loadUIFromDictionary(const JobRecord &record) = 0;
    // Runs the job the controller now holds, with its record: the schedule's
    // own record (valid until the schedule next changes), which the run may
    // change in place.
    virtual void startBackup(JobRecord &record) = 0;
    // Asks the application to quit.
    virtual void terminateApplication() = 0;
};

// Why a due job did not run.
enum class SkipReason {
    SourceAbsent,
    DestinationAbsent,
    SourceAndDestinationAbsent,
    RunInProgress,
    WaitingForPower,   // on battery while "waitForPowerToBackup" is set
    DestinationLocked, // another run holds the destination
    UnsafeDestination, // the copy would copy itself or write over the source
};

struct SkippedJob
{
    QString sourcePath;
    QString destPath;
    SkipReason reason;
};

class ScheduledJobDispatcher : public QObject
{
    Q_OBJECT
public:
    using VolumeTest = std::function<bool(const QString &path)>;
    // Asked for each due job whose volumes are present: a reason keeps it
    // from running now (it is neither queued nor rolled, like an absent disk).
    using RunCondition = std::function<std::optional<SkipReason>(const JobRecord &record)>;
    // Asked for each due job that may run now: a text says why it must not
    // run as it stands, whatever the time (only the user can change that).
    // The job is not queued, but its dates are rolled as for a run, so it is
    // not found due again at every check; the skip is listed and logged.
    using RunRefusal = std::function<QString(const JobRecord &record)>;

    // volumeIsMounted: the machine's volumes when empty.
    ScheduledJobDispatcher(SharedSchedule &schedule, DispatchController &controller, const Clock &clock,
                           VolumeTest volumeIsMounted = {}, const QLocale &locale = QLocale(),
                           QObject *parent = nullptr);

    // The queued jobs, head first, as the schedule holds them now.
    QList<JobRecord> jobsToDo() const;
    // The due jobs the last check (or "JOBTODO") did not run, and why.
    const QList<SkippedJob> &skippedJobs() const { return m_skippedJobs; }
    static QString skipReasonText(SkipReason reason);
    bool quitWhenAllDone() const { return m_quitWhenAllDone; }
    void setQuitWhenAllDone(bool quit) { m_quitWhenAllDone = quit; }
    void setRunCondition(RunCondition condition) { m_runCondition = std::move(condition); }
    void setRunRefusal(RunRefusal refusal) { m_runRefusal = std::move(refusal); }

    // Queues due jobs whose volumes are present, rolls their dates and saves.
    void checkForScheduledJobs();
    // When idle: loads the head of the queue, removes it and starts it.
    void runNextScheduledJob();
    // "JOBTODO": check and run when idle, ignored while a run is in progress.
    void newJobNotificationFromHelperApp();

    // Start-up: an empty queue, a check, quitWhenAllDone when something is
    // due and the arguments hold "daemonLaunched", the first job, and (when
    // a center is given) the "JOBTODO" observer.
    void applicationDidFinishLaunching(const QStringList &arguments, DistributedNotificationCenter *center);
    void observeJobToDo(DistributedNotificationCenter &center);

    // The end of a run, once the window is idle: the next queued job, a
    // check for jobs that fell due meanwhile, the next job again; then quits
    // when idle, drained and quitWhenAllDone. Returns whether it asked to quit.
    bool continueAfterRun();

    // The launch argument the agent passes.
    static QString daemonLaunchedArgument() { return QStringLiteral("daemonLaunched"); }

    // Whether a run-date text names a moment before now, or a date beyond one
    // week from today (see runDateIsDue; a text that does not parse is never
    // due).
    static bool isDue(const QString &runDateText, const QDateTime &now, const QLocale &locale);

private:
    struct QueuedJob
    {
        QString sourcePath;
        QString destPath;
        JobRecord queuedRecord; // only for a pair that leaves the schedule
    };

    qsizetype indexInQueue(const JobRecord &record) const;
    JobRecord *liveRecord(const QueuedJob &job) const;
    void skip(const JobRecord &record, SkipReason reason);

    SharedSchedule &m_schedule;
    DispatchController &m_controller;
    QueuedJob m_runningJob; // the job of the run started last
    const Clock &m_clock;
    VolumeTest m_volumeIsMounted;
    RunCondition m_runCondition;
    RunRefusal m_runRefusal;
    QLocale m_locale;
    QList<QueuedJob> m_jobsToDo;
    QList<SkippedJob> m_skippedJobs;
    bool m_quitWhenAllDone = false;
};
