#pragma once

// One run of a backup, from the start button to the end of the copy
// program, in explicit phases: checking the volumes and preparing the
// destination, rights and argument list (Checking; a Snapshot run also
// locks its destination and chooses its link destination and working
// folder there), measuring the job with a dry run (DryRun), launching the
// copy (Copying) and, for a Snapshot run whose copy ended well, naming the
// snapshot and removing the job's oldest ones (Rotating). The controller
// owns the run for its length, calls the worker steps below on a worker
// thread in order, and marks the end (Finishing, then Idle) itself.
//
// What callers may rely on:
//  - the steps block the worker thread; what the window should show is sent
//    to the host on the main thread, tagged with the run's id so a host can
//    drop what belongs to a run it no longer shows;
//  - requestStop() (any thread) ends the dry run and the copy with their
//    process groups and prevents every later step, including a launch that
//    races the stop; killChildren() ends them without preventing anything;
//  - every child program is an MFTask from the run's task factory;
//  - a Snapshot run holds its destination's lock from prepare() until
//    releaseDestination() (the copy program shares it), and writes into a
//    hidden working folder that only finishSnapshot() after a good end
//    makes a snapshot.
//  - checkVolumes() first ends the run as Refused when a source or the
//    destination is not an absolute path;
//  - prepare() checks the sources before anything is written: a source that
//    is a symbolic link to a folder is copied as that folder, and sources
//    that share a final folder name, or a Sync that would empty a mirror
//    from an empty or unreadable source, end the run as Refused;
//  - a restore copies its source as given ("x/" copies what x holds into
//    the destination, "x" the folder x); every other run drops one trailing
//    "/" from each source, and the host is given the trimmed sources;
//  - the copy keeps ACLs, extended attributes and sparse files where the
//    destination can hold them (probed once per run), and a destination
//    that cannot hold hard links gets no Snapshot run;
//  - before the dry run, the partial files earlier copies left where this
//    one writes are removed (PartialFiles), so a copy cut off by a full disk
//    never blocks the next run;
//  - the system's own paths (/dev, /proc, /tmp...) are excluded only from a
//    source that holds them;
//  - a Sync or Snapshot whose dry run counts more bytes to copy than the
//    destination has free ends after the dry run as NoRoom, saying both
//    sizes, and launches nothing.

#include "BackupArguments.h"
#include "JobRecord.h"
#include "SnapshotThinning.h"
#include "TaskToEnd.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <functional>
#include <mutex>
#include <optional>

class Clock;
class DryRunAssessor;
class FastSnapshot;
class SnapshotSession;
class MFTask;
class MFTaskDelegateProtocol;
class PrivilegedRunner;
class RunListFile;
class QThread;
class TaskFactory;
class VolumeTools;

// The request as it stood when the start button was pressed: later changes
// (such as restore mode being cleared right after the start) do not reach
// the run.
struct BackupRunRequest
{
    quint64 runId = 0;
    QStringList backupSources;
    QString backupDest;
    QString linkDest;
    QStringList excludedFiles;
    bool isRestore = false;
    bool isFinderCopy = false;
    bool protectRoot = true;
    // A Snapshot run with a complete previous snapshot clones it and copies
    // into the clone (FastSnapshot); otherwise the ordinary run.
    bool fastSnapshots = false;
    qint64 snapshotsToKeep = 0;
    // Thinning instead of the newest snapshotsToKeep, when the job has it.
    std::optional<ThinningPolicy> thinning;
    int modeRow = 0; // 0 Sync, 1 Snapshot
    // The scheduled job's pair: its record in the schedule receives the new
    // snapshot as "linkDest".
    QString jobSourcePath;
    QString jobDestPath;
    // A record outside the schedule, given by the caller, to receive it.
    JobRecord *jobDictionary = nullptr;
    // The sources of the other saved jobs into the same destination: a
    // snapshot made before snapshots recorded their job is this job's only
    // when none of them could have made it.
    QStringList otherSavedJobSources;
};

// What a run uses; all of it outlives the run.
struct BackupRunTools
{
    const TaskFactory *tasks = nullptr;
    const VolumeTools *volumes = nullptr;
    const Clock *clock = nullptr;
    PrivilegedRunner *privilegedRunner = nullptr;
    QString toolDirectory;
    QString excludeListPath;
    QString rsyncPath;
    MFTaskDelegateProtocol *copyObserver = nullptr; // the copy task's delegate
    QThread *mainThread = nullptr;                  // where the copy task lives
    // The second of the last "Assessing..." refresh, kept across runs.
    std::atomic<qint64> *lastAssessingSecond = nullptr;
    // How a Snapshot run waits for the next minute when a snapshot of this
    // minute exists (false: give up); sleeping until the clock's next
    // minute when empty.
    std::function<bool()> waitForNextMinute;
    // The destination's free bytes (SpaceCheck::freeBytes when empty);
    // nothing when unknown.
    std::function<std::optional<qint64>(const QString &path)> freeSpace;
};

// How a Snapshot run's working folder ended up.
struct SnapshotRunEnd
{
    QString snapshotPath;    // the new snapshot ("/" at the end); empty when none was made
    QString linkDest;        // the complete snapshot the run linked against, if any
    QString notCompleted;    // why the working folder did not become a snapshot
    QString rotationFailure; // which old snapshot could not be removed, and why
    QString untrustedNotice; // folders that pass for the job's snapshots but are not used
};

// Where a run is: rotating, checking and preparing, the dry run, the copy,
// and finishing after the copy's end.
enum class BackupPhase { Idle, Rotating, Checking, DryRun, Copying, Finishing };

// The run's window side. Every call but volumeAvailable() arrives on the
// main thread through post().
class BackupRunHost
{
public:
    // Refused: the run must not go on as asked (its sources are unsafe to
    // copy, or another run holds the destination).
    // NoRoom: what the dry run counted does not fit on the destination.
    enum class EarlyEnd { VolumeMissing, CannotStart, Refused, NoRoom };

    virtual ~BackupRunHost() = default;
    // Any thread: whether the volume of `path` is present (alerting when not).
    virtual bool volumeAvailable(const QString &path) = 0;
    // Queues `step` for the main thread, to run only while run `runId` is
    // the controller's current one.
    virtual void post(quint64 runId, std::function<void()> step) = 0;

    virtual void showPreparation(std::optional<QString> status, std::optional<bool> indeterminate) = 0;
    virtual void clearArguments() = 0;
    // `chosenSources`: the sources as the user chose them (the job's
    // identity), before links were followed for rsync.
    virtual void runPrepared(const BackupArgumentInput &input, const QStringList &arguments,
                             const QStringList &chosenSources)
        = 0;
    // The run has entered its dry run or its copy.
    virtual void phaseEntered(BackupPhase phase) = 0;
    virtual void dryRunMeasured(qint64 totalFiles, qint64 totalSize) = 0;
    virtual void dryRunStopped() = 0;
    virtual void runEndedEarly(EarlyEnd end, const QString &detail) = 0;
};

class BackupRun
{
public:
    using Phase = BackupPhase;

    BackupRun(BackupRunRequest request, BackupRunHost &host, BackupRunTools tools);
    ~BackupRun();
    BackupRun(const BackupRun &) = delete;
    BackupRun &operator=(const BackupRun &) = delete;

    // Worker steps, in this order; false: the run ended there.
    bool checkVolumes();
    bool prepare();
    bool dryRun();
    void launchCopy();
    // After the copy of a Snapshot run ended (its summary seen or not), on a
    // worker: names the snapshot when the copy ended well, then rotates.
    SnapshotRunEnd finishSnapshot(bool endedWell, const QString &howItEnded);
    // Whether this run writes into a working folder that finishSnapshot()
    // completes.
    bool hasWorkingFolder() const;
    // Ends the run's own hold on the destination's lock.
    void releaseDestination();
    // Removes the file of exclusion patterns the run passed to rsync, if
    // any; a run whose stop was requested makes none afterwards.
    void removeExclusionFile();
    const BackupRunRequest &request() const { return m_request; }
    Phase phase() const { return m_phase; }
    void setPhase(Phase phase) { m_phase = phase; }
    // The copy's argument list and form, once prepared.
    QStringList arguments() const;
    bool writesSnapshot() const;
    bool destHadOwnershipEnabled() const { return m_destHadOwnershipEnabled; }

    void requestStop();
    void killChildren();
    bool stopRequested() const;
    // The copy task (main thread); takeTask() hands it to the caller.
    MFTask *task() const;
    MFTask *takeTask();

    // "Cannot start rsync: REASON", the status of a run whose rsync did not start.
    static QString cannotStartDetail(const QString &reason);

private:
    // Sets the phase and tells the host (on the main thread) that the run
    // has entered it.
    void enterPhase(Phase phase);
    // Ends what requestStop() and killChildren() end; m_mutex is held.
    void killChildrenLocked();
    bool makeCopyTask();
    bool prepareSnapshot(BackupArgumentInput &input);
    // Chooses the fast form for a Snapshot run that may take it.
    void prepareFastSnapshot(const BackupArgumentInput &input);
    void createWorkingFolder() const;
    // Runs the dry run with `arguments`, measuring it; `extra` sees its
    // output too.
    TaskToEndResult measureDryRun(const QStringList &arguments, DryRunAssessor &assessor,
                                  const std::function<void(const QByteArray &)> &extra);
    // False when the dry run was stopped or could not start (the end is
    // sent to the host).
    bool dryRunRan(const TaskToEndResult &result);
    // After the dry run of the fast form: the clone readied, the run gone
    // over to the ordinary copy (the clone could not serve it), or the run
    // ended (sent to the host).
    enum class CloneReadiness { Ready, Ordinary, Ended };
    CloneReadiness readyFastClone();
    // Sets the clone aside and makes the copy the ordinary linked one; false
    // when the clone could not be set aside (the run ended).
    bool fallBackToOrdinaryCopy(const QString &because);
    // Renames the working folder to a retiring name and removes it; the
    // text says why it could not be renamed.
    static std::optional<QString> setCloneAside(const QString &workingFolder);
    std::shared_ptr<SnapshotSession> session() const;
    // Probes the destination once: the copy keeps ACLs and extended
    // attributes where it can hold them, the run says once what it cannot
    // keep, and a Snapshot run into a destination without hard links is
    // refused (false; the refusal is sent to the host).
    bool keepWhatTheDestinationHolds(BackupArgumentInput &input);
    // Removes what interrupted copies left in the partial folders of the
    // folders the copy writes into (`target`, the list's last argument):
    // rsync never resumes a local copy from them, and they hold room the
    // copy may need.
    void removePartialFiles(const QStringList &sourcesPassed, const QString &target) const;
    // Follows sources that are links to folders; returns the user's
    // exclusions rebased onto them.
    QStringList followSourceLinks(BackupArgumentInput &input) const;
    // Why the sources must not be copied as they stand; empty when they may.
    static QString unsafeSourcesText(const BackupArgumentInput &input, const QStringList &excludedFiles);
    // Puts the exclusion patterns that would make the argument list too long
    // into a private file named by `input`; false when the run ended (sent
    // to the host).
    bool writeExclusionFile(BackupArgumentInput &input);
    void post(std::function<void()> step);
    // False when the dry run's bytes do not fit (the refusal is sent to the host).
    bool fitsOnDestination(qint64 bytesToCopy);
    QHash<QString, QString> copyEnvironment() const;

    const BackupRunRequest m_request;
    BackupRunHost &m_host;
    const BackupRunTools m_tools;
    std::atomic<Phase> m_phase{Phase::Idle};
    std::atomic<bool> m_destHadOwnershipEnabled{false};
    BackupArgumentInput m_input; // written by prepare() only
    QStringList m_arguments;     // written by prepare(), and by the dry run going over to the ordinary copy
    QStringList m_chosenSources; // written by prepare() only

    // Guards the children against a stop that races their launch.
    mutable std::mutex m_mutex;
    bool m_stopRequested = false;
    MFTask *m_dryRun = nullptr;
    MFTask *m_task = nullptr;
    // A Snapshot run's lock and working folder; a worker finishing the run
    // may hold it a moment longer.
    std::shared_ptr<SnapshotSession> m_session;
    // The dry run and the copy read their exclusions from it.
    std::unique_ptr<RunListFile> m_exclusionFile;
    // The fast form's clone stops with the run; m_fast is set by prepare().
    std::atomic<bool> m_cloneStop{false};
    std::unique_ptr<FastSnapshot> m_fast;
    QElapsedTimer m_copyTimer; // from the copy's launch to finishSnapshot()
};
