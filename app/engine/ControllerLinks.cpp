#include "ControllerLinks.h"

#include "DisplayName.h"
#include "JobLoader.h"

#include <QPointer>

#include <limits>

// --- RunObserver -------------------------------------------------------------

void MFTaskAppDelegate::RunObserver::taskDidRecieveData(const QByteArray &data, MFTask *task)
{
    m_controller->m_taskDelegate.taskDidRecieveData(data, task);
}

void MFTaskAppDelegate::RunObserver::taskDidRecieveErrorData(const QByteArray &data, MFTask *task)
{
    m_controller->m_taskDelegate.taskDidRecieveErrorData(data, task);
}

void MFTaskAppDelegate::RunObserver::taskDidTerminate(MFTask *task)
{
    m_controller->m_taskDelegate.taskDidTerminate(task);
}

void MFTaskAppDelegate::RunObserver::taskDidRecieveInvalidate(MFTask *task)
{
    m_controller->m_taskDelegate.taskDidRecieveInvalidate(task);
}

void MFTaskAppDelegate::RunObserver::taskDidLaunch(MFTask *task)
{
    // Launch is reported on the launching (worker) thread; the reader's
    // controls belong to the main thread.
    QPointer<MFTask> guard(task);
    QMetaObject::invokeMethod(
        m_controller,
        [this, guard] {
            if (guard)
                m_controller->m_taskDelegate.taskDidLaunch(guard);
        },
        Qt::QueuedConnection);
}

// --- ScheduleLink ------------------------------------------------------------

bool MFTaskAppDelegate::ScheduleLink::isIdle() const
{
    return !m_controller->isRunning();
}

void MFTaskAppDelegate::ScheduleLink::adoptScheduledJob(const LoadedJob &job)
{
    m_controller->backupSources = {job.sourcePath};
    m_controller->backupDest = job.destPath;
    m_controller->excludedFiles = job.excludedFiles;
    m_controller->snapshotsToKeep = int(std::min<qint64>(job.snapshotLimit, std::numeric_limits<int>::max()));
    // A loaded job's own rule applies until another is chosen.
    m_controller->thinning.reset();
    m_controller->m_taskDelegate.setSourcePath(job.sourcePath);
    m_controller->jobOnScreenChanged();
}

// --- RunLink -------------------------------------------------------------------

bool MFTaskAppDelegate::RunLink::volumeAvailable(const QString &path)
{
    return m_controller->displayErrorIfVolumeNotMounted(path);
}

void MFTaskAppDelegate::RunLink::post(quint64 runId, std::function<void()> step)
{
    MFTaskAppDelegate *controller = m_controller;
    controller->postToMain([controller, runId, step = std::move(step)] {
        if (controller->m_runId == runId)
            step();
    });
}

void MFTaskAppDelegate::RunLink::showPreparation(std::optional<QString> status, std::optional<bool> indeterminate)
{
    m_controller->m_window.showPreparation(status, indeterminate);
}

void MFTaskAppDelegate::RunLink::clearArguments()
{
    m_controller->m_view->setArgumentRows({});
}

void MFTaskAppDelegate::RunLink::runPrepared(const BackupArgumentInput &input, const QStringList &arguments,
                                             const QStringList &chosenSources)
{
    MFTaskAppDelegate &controller = *m_controller;
    // Announced once the checks have passed: a run refused or missing its
    // volume never started, and says so in its own alert.
    controller.m_announcer.starting(displayNameForPath(controller.backupDest));
    // The sources as chosen: they name the job, whatever rsync was given.
    controller.backupSources = chosenSources;
    controller.backupDest = input.backupDest;
    // The window shows the snapshot linked against; the run's own folder
    // becomes the link destination only once it is complete.
    if (input.snapshot)
        controller.m_window.showLinkDest(input.linkDest);
    controller.m_window.showArguments(arguments);
    controller.m_window.prepareCopy(input.backupSources.first(), input.isFinderCopy);
}

void MFTaskAppDelegate::RunLink::phaseEntered(BackupPhase phase)
{
    // A stop or the copy's end already moved the run on; a late phase of the
    // same run must not move it back.
    const RunState state = m_controller->runState();
    if (state != RunState::Preparing && state != RunState::DryRun)
        return;
    if (phase == BackupPhase::DryRun)
        m_controller->setRunState(RunState::DryRun);
    else if (phase == BackupPhase::Copying)
        m_controller->setRunState(RunState::Copying);
}

void MFTaskAppDelegate::RunLink::dryRunMeasured(qint64 totalFiles, qint64 totalSize)
{
    m_controller->m_window.showCopyStarting(totalFiles, totalSize);
    // Posted before the launch, so before the copy's first chunk: the reader
    // reads this task and no other.
    m_controller->m_taskDelegate.setCurrentTask(m_controller->currentTask());
}

void MFTaskAppDelegate::RunLink::dryRunStopped()
{
    m_controller->m_window.showDryRunStopped();
}

void MFTaskAppDelegate::RunLink::runEndedEarly(EarlyEnd end, const QString &detail)
{
    MFTaskAppDelegate &controller = *m_controller;
    if (!controller.isRunning())
        return;
    if (end == EarlyEnd::VolumeMissing) {
        // The volume's alert is already on screen.
        controller.finishRun(RunOutcome::VolumeMissing, QString());
    } else if (end == EarlyEnd::NoRoom) {
        controller.m_announcer.refused(controller.backupDest, detail);
        controller.finishRun(RunOutcome::OutOfSpace, detail, AfterRun::HandOverToDispatch, detail);
        if (controller.isFinderCopy || !controller.offerRoomFromThinning(detail))
            controller.m_view->showAlert(QStringLiteral("Can't start backup"), detail);
    } else if (end == EarlyEnd::Refused) {
        controller.m_view->showAlert(QStringLiteral("Can't start backup"), detail);
        controller.m_announcer.refused(controller.backupDest, detail);
        controller.finishRun(RunOutcome::Refused, detail, AfterRun::HandOverToDispatch, detail);
    } else {
        // rsync could not start: the ownership switched on for the run goes back.
        controller.restoreOwnershipIfNeeded();
        // A file-manager copy's window is about to go: the reason goes into
        // an alert that outlives the status line.
        if (controller.isFinderCopy)
            controller.m_view->showAlert(QStringLiteral("Can't start backup"), detail);
        controller.finishRun(RunOutcome::Failed, detail, AfterRun::HandOverToDispatch, detail);
    }
    // A file-manager copy has nothing left to do: its process ends once the
    // reason has been read, instead of leaving a window whose start button
    // would start the refused copy again.
    if (controller.isFinderCopy)
        controller.m_view->terminateAfterAlerts();
}
