// The end of a run: completion after the copy program has ended, the
// Snapshot run's folder and rotation, and the job record's link destination.
// The rest of the controller is in MFTaskAppDelegate.cpp.
#include "MFTaskAppDelegate.h"

#include "DestinationLock.h"

#include "BundleLocation.h"
#include "Clock.h"
#include "ControllerLinks.h"
#include "SnapshotFolders.h"
#include "DisplayName.h"
#include "JobLoader.h"
#include "RestoreChoosers.h"
#include "LocalNotificationCenter.h"
#include "ScheduleEntry.h"
#include "ScheduledJobDispatcher.h"
#include "SharedDefaults.h"
#include "SharedSchedule.h"
#include "TaskFactory.h"
#include "VolumePresence.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

namespace {

MFTaskAppDelegate::RunOutcome runOutcomeFor(CopyResult result)
{
    switch (result) {
    case CopyResult::Completed:
        return MFTaskAppDelegate::RunOutcome::Completed;
    case CopyResult::CompletedWithNote:
        return MFTaskAppDelegate::RunOutcome::CompletedWithNote;
    case CopyResult::CompletedWithErrors:
        return MFTaskAppDelegate::RunOutcome::CompletedWithErrors;
    case CopyResult::OutOfSpace:
        return MFTaskAppDelegate::RunOutcome::OutOfSpace;
    case CopyResult::Failed:
        return MFTaskAppDelegate::RunOutcome::Failed;
    case CopyResult::Stopped:
        return MFTaskAppDelegate::RunOutcome::Stopped;
    }
    return MFTaskAppDelegate::RunOutcome::Failed;
}

} // namespace

// --- End of a run ------------------------------------------------------------

void MFTaskAppDelegate::backupComplete()
{
    // Only the run in progress completes, once, and only when its copy
    // program has ended: a late or repeated "BackupComplete" must not stop
    // the next job that dispatch has started.
    const std::optional<CopyOutcome> copy = m_taskDelegate.copyOutcome();
    if (m_state == RunState::Idle || m_state == RunState::Finishing || !copy)
        return;
    m_run->setPhase(BackupRun::Phase::Finishing);
    setRunState(RunState::Finishing);
    if (MFTask *task = currentTask())
        task->invalidate();
    if (m_run->hasWorkingFolder()) {
        // Whether the working folder becomes a snapshot depends on how the
        // copy ended; naming and rotation run on a worker.
        finishSnapshot(*copy);
        return;
    }
    completeRun(*copy, SnapshotRunEnd(), false);
}

void MFTaskAppDelegate::completeRun(const CopyOutcome &copy, const SnapshotRunEnd &end, bool snapshotRun)
{
    const CopyOutcome outcomeOfRun = snapshotRun
        ? RunAnnouncer::withSnapshotEnd(copy, end.snapshotPath.isEmpty() ? end.notCompleted : QString(),
                                        end.rotationFailure)
        : copy;
    const RunOutcome outcome = runOutcomeFor(outcomeOfRun.result);
    m_announcer.completed(backupDest, outcomeOfRun);
    // The reader shows the completion text itself; a run that did not
    // succeed also reports why.
    // Folders the run did not use as snapshots are news, not a failure.
    QStringList details{outcomeOfRun.result == CopyResult::Completed ? QString()
                                                                     : CopyOutcomes::statusText(outcomeOfRun),
                        end.untrustedNotice};
    details.removeAll(QString());
    const QString detail = details.join(u' ');
    restoreOwnershipIfNeeded();
    m_volumeTools.blessDest(backupDest);
    if (snapshotRun)
        showSnapshotEnd(end);
    // Saving the job makes the new snapshot the pair's link destination, so
    // the next run of the pair hard-links against it. A snapshot that did not
    // finish is no base for the next one.
    const bool snapshotMade = snapshotRun ? !end.snapshotPath.isEmpty() : copy.succeeded();
    if (m_run->writesSnapshot() && snapshotMade)
        addToScheduleClicked();
    if (!outcomeOfRun.succeeded())
        m_taskDelegate.stopProgressAnimation();
    if (snapshotRun && !detail.isEmpty()) {
        // What became of the snapshot is news to the reader, whose own last
        // text is already queued: shown after it, while this run is current.
        postToMain([this, detail, runId = quint64(m_runId)] {
            if (m_runId == runId)
                m_window.showStatus(detail);
        });
    }
    finishRun(outcome, detail, AfterRun::CallerContinues);
    // A file-manager copy ends its process; quitting is queued, so dispatch
    // must not get the chance to start a scheduled job in the meantime.
    if (isFinderCopy) {
        m_view->terminateApplication();
        return;
    }
    if (m_dispatcher)
        m_dispatcher->continueAfterRun();
}

// The job's link destination after a Snapshot run: the new snapshot when
// one was made, otherwise the complete one the run linked against.
void MFTaskAppDelegate::showSnapshotEnd(const SnapshotRunEnd &end)
{
    linkDest = end.snapshotPath.isEmpty() ? end.linkDest : end.snapshotPath;
    const BackupRunRequest &request = m_run->request();
    const JobRecord *saved = savedJob(request.jobSourcePath, request.jobDestPath);
    const bool changed = saved && JobRecords::linkDest(*saved) != linkDest;
    if (!linkDest.isEmpty() && !setJobLinkDest(request.jobSourcePath, request.jobDestPath, linkDest)
        && request.jobDictionary)
        request.jobDictionary->insert(JobKey::linkDest, linkDest);
    // A new snapshot saves the job at completion; otherwise the record
    // changed in memory only, and the schedule file is brought up to date.
    if (changed && !linkDest.isEmpty() && end.snapshotPath.isEmpty())
        LocalNotificationCenter::defaultCenter().post(ScheduleEntry::scheduledBackupsDidChangeName());
    m_window.showLinkDest(linkDest);
}

// The copy of a Snapshot run has ended: naming its folder and rotation run
// on a worker, the status line showing the removals, and the run completes
// back on the main thread.
void MFTaskAppDelegate::finishSnapshot(const CopyOutcome &copy)
{
    const bool endedWell = copy.succeeded();
    const QString howItEnded = copy.cause.isEmpty() ? CopyOutcomes::statusText(copy) : copy.cause;
    const quint64 runId = m_runId;
    m_workers.start([this, run = m_run, endedWell, howItEnded, runId, copy] {
        const SnapshotRunEnd end = run->finishSnapshot(endedWell, howItEnded);
        postToMain([this, runId, end, copy] {
            if (m_runId == runId && m_state != RunState::Idle)
                completeRun(copy, end, true);
        });
    });
}

bool MFTaskAppDelegate::setJobLinkDest(const QString &sourcePath, const QString &destPath, const QString &snapshot)
{
    // The schedule's own record of the pair, looked up now.
    SharedSchedule *schedule = m_services.schedule;
    if (!schedule || sourcePath.isEmpty())
        return false;
    for (qsizetype row = 0; row < schedule->count(); ++row) {
        JobRecord &record = schedule->recordAt(row);
        if (JobRecords::sourcePath(record) == sourcePath && JobRecords::destPath(record) == destPath) {
            record.insert(JobKey::linkDest, snapshot);
            return true;
        }
    }
    return false;
}
