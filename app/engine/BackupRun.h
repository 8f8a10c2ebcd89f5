#pragma once

// One run of a backup, from the start button to the launch of the copy
// program, in explicit phases: removing an old snapshot (Rotating), checking
// the volumes and preparing the destination, rights and argument list
// (Checking), measuring the job with a dry run (DryRun) and launching the
// copy (Copying). The controller owns the run for its length, calls the
// worker steps below on a worker thread in order, and marks the end
// (Finishing, then Idle) itself.
//
// What callers may rely on:
//  - the steps block the worker thread; what the window should show is sent
//    to the host on the main thread, tagged with the run's id so a host can
//    drop what belongs to a run it no longer shows;
//  - requestStop() (any thread) ends the dry run and the copy with their
//    process groups and prevents every later step, including a launch that
//    races the stop; killChildren() ends them without preventing anything;
//  - every child program is an MFTask from the run's task factory.

#include "BackupArguments.h"
#include "JobRecord.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class Clock;
class MFTask;
class MFTaskDelegateProtocol;
class PrivilegedRunner;
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
    qint64 snapshotsToKeep = 0;
    int modeRow = 0; // 0 Sync, 1 Snapshot
    JobRecord *jobDictionary = nullptr;
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
};

// The run's window side. Every call but volumeAvailable() arrives on the
// main thread through post().
class BackupRunHost
{
public:
    enum class EarlyEnd { VolumeMissing, CannotStart };

    virtual ~BackupRunHost() = default;
    // Any thread: whether the volume of `path` is present (alerting when not).
    virtual bool volumeAvailable(const QString &path) = 0;
    // Queues `step` for the main thread, to run only while run `runId` is
    // the controller's current one.
    virtual void post(quint64 runId, std::function<void()> step) = 0;

    virtual void showPreparation(std::optional<QString> status, std::optional<bool> indeterminate) = 0;
    virtual void clearArguments() = 0;
    virtual void runPrepared(const BackupArgumentInput &input, const QStringList &arguments) = 0;
    virtual void dryRunMeasured(qint64 totalFiles, qint64 totalSize) = 0;
    virtual void dryRunStopped() = 0;
    virtual void runEndedEarly(EarlyEnd end, const QString &detail) = 0;
};

class BackupRun
{
public:
    enum class Phase { Idle, Rotating, Checking, DryRun, Copying, Finishing };

    BackupRun(BackupRunRequest request, BackupRunHost &host, BackupRunTools tools);
    ~BackupRun();
    BackupRun(const BackupRun &) = delete;
    BackupRun &operator=(const BackupRun &) = delete;

    // Worker steps, in this order; false: the run ended there.
    bool rotateOldSnapshots();
    bool checkVolumes();
    bool prepare();
    bool dryRun();
    void launchCopy();

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
    bool makeCopyTask();
    void post(std::function<void()> step);
    QHash<QString, QString> copyEnvironment() const;

    const BackupRunRequest m_request;
    BackupRunHost &m_host;
    const BackupRunTools m_tools;
    std::atomic<Phase> m_phase{Phase::Idle};
    std::atomic<bool> m_destHadOwnershipEnabled{false};
    BackupArgumentInput m_input; // written by prepare() only
    QStringList m_arguments;     // written by prepare() only

    // Guards the children against a stop that races their launch.
    mutable std::mutex m_mutex;
    bool m_stopRequested = false;
    MFTask *m_dryRun = nullptr;
    MFTask *m_task = nullptr;
};
