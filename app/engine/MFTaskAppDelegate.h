#pragma once

// MFTaskAppDelegate: the one controller. It holds the backup request (what to
// copy, where, how) and the run state, turns a start into one run of rsync
// (checks, dry run, launch), and stops, kills, restores and decides about
// quitting. It reaches the window only through MFTaskAppView.
//
// What callers may rely on:
//  - every public method is called on the main thread, except the two
//    "...OnTheMainThread" readers, which any thread may call;
//  - startBackup() returns at once; the run's checks, dry run and launch
//    happen on a worker thread, and every window change comes back to the
//    main thread;
//  - each run ends with exactly one runFinished() (completed, with a note,
//    with errors, out of space, failed, stopped, a volume missing or refused
//    by a source check), after the window is idle again; the outcome of a
//    copy is decided when rsync has ended, from its exit status (see
//    CopyOutcome), never leaving a run in progress forever;
//  - every run starts from a fresh output reader bound to its own copy task
//    (queued runs included), so nothing of an earlier run reaches it;
//  - after a stop or _killTask() nothing of the run is left running: the dry
//    run and the copy program are killed with their process groups, and a
//    stop that races the launch prevents the launch;
//  - the destructor stops a run in progress and waits for its worker;
//  - with a schedule (services.schedule): the link destination comes from
//    the pair's record, a completed Snapshot run saves its job there with
//    the new snapshot as "linkDest" (so the next run links against it), and
//    every run that ends on its own (anything but a stop) hands over to
//    dispatch, which starts the next due job or asks the application to quit
//    after a start with "daemonLaunched";
//  - a Snapshot run (BackupRun, SnapshotSession) holds its destination's
//    lock for the whole run (a second run into it is refused, naming it),
//    writes into a hidden working folder, and only after rsync printed its
//    summary and exited with 0 or 24 names that folder as a snapshot, makes
//    it the link destination and removes the job's oldest snapshots beyond
//    its limit; a snapshot that could not be removed ends the run "with
//    errors", naming it and the reason in the status and the notification.

#include "BackupRun.h"
#include "CheckAndSetAuthorization.h"
#include "JobRecord.h"
#include "MFTaskAppView.h"
#include "MFTaskDelegate.h"
#include "RunAnnouncer.h"
#include "RunState.h"
#include "RunWindow.h"
#include "ScheduleEntry.h"
#include "VolumeTools.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

class Clock;
class RunHistory;
class RunHistoryRecorder;
class ScheduleEntry;
class ScheduledJobDispatcher;
class SharedSchedule;
class UserNotifier;

// What a run uses from the outside world; every member has a working
// default (the system clock, real child programs, pkexec, the bundle's
// tools, the machine's volumes, the bundle's rsync and exclusion list).
struct MFTaskAppServices
{
    const Clock *clock = nullptr;
    // Makes every child program of a run: rsync, its dry run, the snapshot
    // remover and diskutil. TaskFactory::system() when none.
    const TaskFactory *tasks = nullptr;
    PrivilegedRunner *privilegedRunner = nullptr;
    QString toolDirectory;   // the bundle's libexec/vellumor when empty
    QString excludeListPath; // the bundle's excludelist.txt when empty
    std::function<bool(const QString &)> volumeIsMounted;
    // The scheduled job's "linkDest" for (first source, destination), if any;
    // read from `schedule` when empty.
    std::function<QString(const QString &source, const QString &dest)> scheduledLinkDest;
    // The in-memory schedule (sharedParams): enables saving a finished
    // Snapshot run and dispatching scheduled jobs. None: neither.
    SharedSchedule *schedule = nullptr;
    // With a schedule: whether due jobs are dispatched (false: the schedule
    // only supplies link destinations and receives finished snapshot runs).
    bool dispatchScheduledJobs = true;
    // Desktop banners; the view's deliverUserNotification() when none.
    UserNotifier *notifier = nullptr;
    // Where every finished run is recorded; none: runs are not recorded.
    const RunHistory *runHistory = nullptr;
    // How a Snapshot run waits for the next minute when a snapshot of this
    // minute exists (false: give up); sleeping until the clock's next
    // minute when empty.
    std::function<bool()> waitForNextMinute;
    // The destination's free bytes before a copy; statvfs when empty.
    std::function<std::optional<qint64>(const QString &path)> freeSpace;
};

class MFTaskAppDelegate : public QObject
{
    Q_OBJECT
public:
    // CompletedWithNote: rsync's exit status 24 (source files vanished while
    // copied). Refused: a source check stopped the run before it wrote.
    enum class RunOutcome {
        Completed,
        CompletedWithNote,
        CompletedWithErrors,
        OutOfSpace,
        Failed,
        Stopped,
        VolumeMissing,
        Refused
    };
    Q_ENUM(RunOutcome)

    using Services = MFTaskAppServices;
    explicit MFTaskAppDelegate(MFTaskAppView *view, Services services = Services(), QObject *parent = nullptr);
    ~MFTaskAppDelegate() override;

    // The backup request, read when startBackup() is called.
    QStringList backupSources;
    QString backupDest;
    QString linkDest;
    QStringList excludedFiles;
    int snapshotsToKeep = 0;
    // A rule for old snapshots chosen for the job on screen; unset: the
    // saved job's own (its thinning, or the newest snapshotsToKeep).
    std::optional<ThinningChoice> thinning;
    bool isRestore = false;
    bool isFinderCopy = false;
    // The next Snapshot runs take the fast form whatever the preference
    // "fastSnapshots" says (the terminal's "--fast").
    bool fastSnapshotsRequested = false;
    bool userSelectedShouldTerminate = false;

    // Run state: one value, changed on the main thread only, each change
    // announced by runStateChanged(); readable from any thread.
    RunState runState() const { return m_state; }
    bool isRunning() const { return m_state != RunState::Idle; }
    bool destHadOwnershipEnabled() const { return m_run && m_run->destHadOwnershipEnabled(); }
    // The run in progress or the last one; null before the first.
    const BackupRun *currentRun() const { return m_run.get(); }
    MFTask *currentTask() const { return m_run ? m_run->task() : nullptr; }
    MFTaskDelegate *taskDelegate() { return &m_taskDelegate; }

    // Starting, stopping, quitting. A given record receives the run's new
    // snapshot as "linkDest" and must outlive the run.
    void startBackup(JobRecord *jobDictionary = nullptr);
    void startButtonClicked();
    // The Stop action: ends a run in progress as stopped (no next job).
    void stop();
    void _killTask();
    void restoreBackup();
    // true: quit now; false: not now (the quit question is being asked).
    bool applicationShouldTerminate();
    // End of the quit question: 1000 is "Quit", anything else "Cancel".
    void quitOrCancel(int returnCode);
    void backupComplete();

    // Scheduling (with a schedule only; otherwise they do nothing).
    // Shows a job and makes it the current one; nothing while running.
    void loadUIFromDictionary(const JobRecord &record);
    // Saves the job the window shows with its weekdays and time.
    void addToScheduleClicked();
    // jobsToDo, quitWhenAllDone, the checks and the start-up steps.
    ScheduledJobDispatcher *dispatcher() const { return m_dispatcher.get(); }

    // The job on screen (its source or destination) has changed: an old
    // run's status text goes, and jobChanged() tells the window.
    void jobOnScreenChanged();

    // Looks up the previous snapshot of the (first source, destination)
    // pair in Snapshot mode and makes it linkDest, or clears it; shows it.
    void handleLinkDest();

    // Readers usable from any thread: the mode row is a blocking hop to the
    // main thread; the title is the run state's.
    int getDuplicateOrHardlinksSelectedThingOnTheMainThread();
    QString getStartButtonTitleOnMainThread() const;

    // Volumes.
    bool displayErrorIfVolumeNotMounted(const QString &path);
    // When the chosen destination lies inside the chosen source (and is not
    // excluded), shows the alert a start would refuse with and answers NO;
    // YES when the pair may be copied (or is not complete yet).
    bool displayErrorIfDestinationInsideSource();
    bool checkSetOwnershipOnVolume(bool change, bool enable, const QString &path);
    // The exclusion patterns for the first source as the request stands.
    QStringList pef() const;

Q_SIGNALS:
    void runStateChanged(RunState state);
    // A run has been handed to its worker; currentRun() is its request.
    void runStarted();
    // The job on screen is another one (jobOnScreenChanged()).
    void jobChanged();
    // The run is over and the window idle; `detail` is the status shown.
    void runFinished(MFTaskAppDelegate::RunOutcome outcome, const QString &detail);

private:
    class RunObserver;
    class ScheduleLink;
    class RunLink;

    BackupRunTools runTools();
    void handOverToDispatch();
    void worker(const std::shared_ptr<BackupRun> &run);
    void enumerateSubdirectories(BackupRun &run);
    void retirePreviousTask();
    void endStopped();
    // Sets "linkDest" in the schedule's record of the pair; false: none.
    bool setJobLinkDest(const QString &sourcePath, const QString &destPath, const QString &snapshot);
    // The schedule's record of the pair, or nullptr.
    const JobRecord *savedJob(const QString &sourcePath, const QString &destPath) const;
    void finishSnapshot(const CopyOutcome &copy);
    void completeRun(const CopyOutcome &copy, const SnapshotRunEnd &end, bool snapshotRun);
    void showSnapshotEnd(const SnapshotRunEnd &end);
    // What follows a run's end: dispatch of the next due job, or nothing yet
    // (the caller hands over itself, in its own order).
    enum class AfterRun { HandOverToDispatch, CallerContinues };
    // Ends the run in progress once: the window idle, then `status` shown
    // when given, then runFinished().
    void finishRun(RunOutcome outcome, const QString &detail, AfterRun after = AfterRun::HandOverToDispatch,
                   const std::optional<QString> &status = std::nullopt);
    // Moves to `state`, drawing the window for it when it leaves or reaches
    // Idle; the start button's title follows every change.
    void setRunState(RunState state);
    void postToMain(std::function<void()> function);
    void restoreOwnershipIfNeeded();
    // A run refused for space: when the job thins its snapshots out and its
    // rule gives some up, offers to remove them (true); false otherwise.
    bool offerRoomFromThinning(const QString &refusal);
    // "Stopped." in the status line once the stop's own clean-up has run.
    void showStopped();
    void removeSnapshotsForRoom(const QString &dest, const QStringList &folders);

    MFTaskAppView *m_view;
    Services m_services;
    VolumeTools m_volumeTools;
    MFTaskDelegate m_taskDelegate;
    RunWindow m_window;
    RunAnnouncer m_announcer;
    std::unique_ptr<RunObserver> m_observer;
    std::unique_ptr<ScheduleLink> m_scheduleLink;
    std::unique_ptr<RunLink> m_runLink;
    std::unique_ptr<ScheduleEntry> m_scheduleEntry;
    std::unique_ptr<ScheduledJobDispatcher> m_dispatcher;
    RunHistoryRecorder *m_historyRecorder = nullptr; // a child; with services.runHistory only
    QThreadPool m_workers;

    // The run in progress (or the last one); its worker holds it too.
    std::shared_ptr<BackupRun> m_run;
    std::atomic<RunState> m_state{RunState::Idle};
    quint64 m_runId = 0;
    std::atomic<qint64> m_lastAssessingSecond{0}; // kept for the life of the process
};
