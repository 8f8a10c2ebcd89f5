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
//    rolled: it stays due until both are present;
//  - nothing starts while a run is in progress; "JOBTODO" is then ignored
//    and the job is found by the check at the end of the run;
//  - the queued job that starts is the schedule's current record of its pair
//    (its settings as they are now, rolled dates and link destination
//    included), or the queued copy when the pair left the schedule;
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

class Clock;
class DistributedNotificationCenter;
class SharedSchedule;

// What dispatch needs from the controller.
class DispatchController
{
public:
    virtual ~DispatchController() = default;
    // The start button reads "Backup".
    virtual bool isIdle() const = 0;
    // Shows the job and makes it the current one (nothing while running).
    virtual void loadUIFromDictionary(const JobRecord &record) = 0;
    // Runs the job the controller now holds, with its record.
    virtual void startBackup(const JobRecord &record) = 0;
    // Asks the application to quit.
    virtual void terminateApplication() = 0;
};

class ScheduledJobDispatcher : public QObject
{
    Q_OBJECT
public:
    using VolumeTest = std::function<bool(const QString &path)>;

    // volumeIsMounted: the machine's volumes when empty.
    ScheduledJobDispatcher(SharedSchedule &schedule, DispatchController &controller, const Clock &clock,
                           VolumeTest volumeIsMounted = {}, const QLocale &locale = QLocale(),
                           QObject *parent = nullptr);

    const QList<JobRecord> &jobsToDo() const { return m_jobsToDo; }
    bool quitWhenAllDone() const { return m_quitWhenAllDone; }
    void setQuitWhenAllDone(bool quit) { m_quitWhenAllDone = quit; }

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

    // Whether a run-date text names a moment before now (a text that does
    // not parse is never due).
    static bool isDue(const QString &runDateText, const QDateTime &now, const QLocale &locale);

private:
    qsizetype indexInQueue(const JobRecord &record) const;

    SharedSchedule &m_schedule;
    DispatchController &m_controller;
    const Clock &m_clock;
    VolumeTest m_volumeIsMounted;
    QLocale m_locale;
    QList<JobRecord> m_jobsToDo;
    bool m_quitWhenAllDone = false;
};
