#pragma once

// The agent's controller. It checks the schedule whenever a job may have
// become runnable (its start, the wake-up timer, "SCHEDULECHANGED", wake
// from sleep, a change of power source, a clock set, a disk mounted) and,
// for every due entry whose source and destination are present (and, with
// "waitForPowerToBackup", only on external power), posts "JOBTODO" and
// starts the main application unless it runs.
//
// What callers may rely on:
//  - the schedule file is read afresh at every check and never written; no
//    copy of it is kept: the only state between checks is the wake-up timer;
//  - after a check the timer is set to the earliest future run date, or,
//    when the schedule has none (or cannot be read), left as it was;
//  - a mounted disk gives a check at once, "VolumesChanged", and further
//    checks after each of the delayed-check intervals;
//  - every check logs one line (CheckReport::logLine) and emits checked();
//  - checks run on the thread the delegate lives in and never overlap.

#include "AgentNotices.h"
#include "CheckReport.h"
#include "ScheduleScan.h"
#include "SkipRecorder.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class Clock;
class DistributedNotificationCenter;
class MainAppLauncher;
class MountWatcher;
class NoticeBoard;
class PowerSource;
class RunHistory;
class SleepWatcher;
class VolumePresence;
class WakeTimer;

struct AgentServices
{
    const Clock &clock;
    WakeTimer &timer;
    PowerSource &power;
    MainAppLauncher &launcher;
    DistributedNotificationCenter &center;
    const VolumePresence &volumes;
    // Empty: the support folder's "Scheduled Backups.xml", resolved anew at
    // every check.
    QString scheduleFilePath;
    QList<std::chrono::milliseconds> delayedChecks = defaultDelayedChecks();

    // A disk may take a while to mount all its volumes: look again after
    // 1, 5, 10, 15 and 20 seconds.
    static QList<std::chrono::milliseconds> defaultDelayedChecks();
    // Where skipped due runs are recorded, and each job's health is read
    // from; none: skips are only logged and no job counts as overdue.
    const RunHistory *history = nullptr;
    // Postponed and overdue notices on the desktop; none: not shown.
    NoticeBoard *notices = nullptr;
};

class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(AgentServices services, QObject *parent = nullptr);

    // Connects every trigger and runs the first check. The watchers may be
    // null (no such events then).
    void applicationDidFinishLaunching(MountWatcher *mounts, SleepWatcher *sleep);

    CheckReport checkForScheduledJobs(const QString &trigger);
    // Its openJobRequested() asks for the window on an overdue job.
    AgentNotices &notices() { return m_notices; }
    bool volumeIsMounted(const QString &path) const;
    LaunchOutcome launchMainApp();

    // The triggers.
    void MainAppNotification();
    void receiveWakeNote();
    void powerSourceChanged();
    void clockWasSet();
    void diskAppeared(const QStringList &mountPoints);
    void timerFireMethod();

    // The wake-up timer.
    void suspendTimer();
    void startTimerThread(const QDateTime &date);

Q_SIGNALS:
    void checked(const CheckReport &report);

private:
    QString scheduleFilePath() const;
    void reportDueJobs(const QList<JobRecord> &records, const QList<ScheduledRun> &due, CheckReport &report);

    // Tells the desktop about each saved job that is overdue.
    void remindOverdueJobs(const QList<JobRecord> &records);

    AgentServices m_services;
    SkipRecorder m_skips;
    AgentNotices m_notices;
};
