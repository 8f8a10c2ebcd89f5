#include "MFTaskAppDelegate.h"

#include "BundleLocation.h"
#include "Clock.h"
#include "ControllerLinks.h"
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

MFTaskAppDelegate::MFTaskAppDelegate(MFTaskAppView *view, Services services, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_services(std::move(services))
    , m_volumeTools(m_services.toolDirectory, m_services.tasks ? *m_services.tasks : TaskFactory::system())
    , m_window(*view, m_taskDelegate)
    , m_announcer(*view, m_services.notifier)
    , m_observer(std::make_unique<RunObserver>(this))
    , m_scheduleLink(std::make_unique<ScheduleLink>(this))
    , m_runLink(std::make_unique<RunLink>(this))
{
    if (!m_services.clock)
        m_services.clock = &Clock::system();
    if (!m_services.tasks)
        m_services.tasks = &TaskFactory::system();
    if (m_services.excludeListPath.isEmpty())
        m_services.excludeListPath = excludeListPath();
    if (!m_services.volumeIsMounted)
        m_services.volumeIsMounted = [](const QString &path) { return volumeIsMounted(path); };
    if (SharedSchedule *schedule = m_services.schedule) {
        if (!m_services.scheduledLinkDest) {
            m_services.scheduledLinkDest = [schedule](const QString &source, const QString &dest) {
                const JobRecord *record = schedule->matchingDictionaryForSourceAndDestExists(source, dest);
                return record ? JobRecords::linkDest(*record) : QString();
            };
        }
        m_scheduleEntry = std::make_unique<ScheduleEntry>(*schedule, *m_services.clock);
        if (m_services.dispatchScheduledJobs)
            m_dispatcher = std::make_unique<ScheduledJobDispatcher>(*schedule, *m_scheduleLink, *m_services.clock,
                                                                    m_services.volumeIsMounted);
    }
    m_workers.setMaxThreadCount(4);
    m_taskDelegate.setAlertPresenter(m_view->alertPresenter());
    LocalNotificationCenter::defaultCenter().addObserver(QStringLiteral("BackupComplete"), this,
                                                         [this](const LocalNotification &) { backupComplete(); });
}

MFTaskAppDelegate::~MFTaskAppDelegate()
{
    m_userSaidStop = true;
    if (m_run)
        m_run->requestStop();
    // The worker may be waiting for an answer from this (main) thread.
    while (!m_workers.waitForDone(20))
        QCoreApplication::processEvents();
    if (MFTask *task = m_run ? m_run->takeTask() : nullptr) {
        task->invalidate();
        delete task;
    }
}

void MFTaskAppDelegate::postToMain(std::function<void()> function)
{
    QMetaObject::invokeMethod(this, std::move(function), Qt::QueuedConnection);
}

// --- Readers from any thread -------------------------------------------------

int MFTaskAppDelegate::getDuplicateOrHardlinksSelectedThingOnTheMainThread()
{
    if (QThread::currentThread() == thread())
        return m_view->selectedModeRow();
    int row = 0;
    QMetaObject::invokeMethod(
        this, [this, &row] { row = m_view->selectedModeRow(); }, Qt::BlockingQueuedConnection);
    return row;
}

QString MFTaskAppDelegate::getStartButtonTitleOnMainThread()
{
    if (QThread::currentThread() == thread())
        return m_view->startButtonTitle();
    QString title;
    QMetaObject::invokeMethod(
        this, [this, &title] { title = m_view->startButtonTitle(); }, Qt::BlockingQueuedConnection);
    return title;
}

// --- Volumes -----------------------------------------------------------------

bool MFTaskAppDelegate::displayErrorIfVolumeNotMounted(const QString &path)
{
    if (m_services.volumeIsMounted(path))
        return true;
    const QString message = QStringLiteral("Can't start backup");
    const QString informative = QStringLiteral("The backup cannot start because %1 is not available. If it is on an "
                                               "external disk, you can connect the disk and try again.")
                                    .arg(path);
    if (QThread::currentThread() == thread())
        m_view->showAlert(message, informative);
    else
        postToMain([this, message, informative] { m_view->showAlert(message, informative); });
    return false;
}

bool MFTaskAppDelegate::checkSetOwnershipOnVolume(bool change, bool enable, const QString &path)
{
    return m_volumeTools.checkSetOwnershipOnVolume(change, enable, path);
}

void MFTaskAppDelegate::restoreOwnershipIfNeeded()
{
    if (!destHadOwnershipEnabled() && !backupDest.isEmpty())
        checkSetOwnershipOnVolume(true, false, backupDest);
}

QStringList MFTaskAppDelegate::pef() const
{
    if (backupSources.isEmpty())
        return {};
    return exclusionPatterns(excludedFiles, trimmedSources({backupSources.first()}).first());
}

// --- Ends and notifications ----------------------------------------------------

void MFTaskAppDelegate::finishRun(RunOutcome outcome, const QString &detail)
{
    if (m_runFinished)
        return;
    m_runFinished = true;
    if (m_run)
        m_run->setPhase(BackupRun::Phase::Idle);
    Q_EMIT runFinished(outcome, detail);
    // A run that failed on its own must not strand the jobs waiting behind it
    // (or keep a scheduler-started application open); completion hands over
    // itself, in its order, and a user's stop starts nothing new.
    if (outcome == RunOutcome::Failed || outcome == RunOutcome::VolumeMissing
        || (outcome == RunOutcome::OutOfSpace && !m_inBackupComplete))
        handOverToDispatch();
}

void MFTaskAppDelegate::handOverToDispatch()
{
    if (!m_dispatcher)
        return;
    // Queued: the run's own clean-up finishes before the next job starts.
    QMetaObject::invokeMethod(
        this, [this] { m_dispatcher->continueAfterRun(); }, Qt::QueuedConnection);
}

// --- Scheduling ----------------------------------------------------------------

void MFTaskAppDelegate::loadUIFromDictionary(const JobRecord &record)
{
    JobLoader::loadUIFromDictionary(record, *m_view, *m_scheduleLink);
}

void MFTaskAppDelegate::addToScheduleClicked()
{
    if (!m_scheduleEntry)
        return;
    ScheduledJobSettings job;
    job.backupSources = backupSources;
    job.backupDest = backupDest;
    if (!linkDest.isEmpty())
        job.linkDest = linkDest;
    job.excludedFiles = excludedFiles;
    const ScheduleSaveResult result = m_scheduleEntry->addToScheduleClicked(*m_view, job);
    if (result.saved && !result.fileWritten)
        qWarning("The schedule could not be saved: %s", qPrintable(result.error));
}

// --- Start -------------------------------------------------------------------

void MFTaskAppDelegate::handleLinkDest()
{
    QString candidate;
    if (m_view->selectedModeRow() == 1 && m_services.scheduledLinkDest && !backupSources.isEmpty())
        candidate = m_services.scheduledLinkDest(backupSources.first(), backupDest);
    if (!candidate.isEmpty() && QFileInfo::exists(candidate))
        linkDest = candidate;
    else
        linkDest.clear();
    m_window.showLinkDest(linkDest);
}

void MFTaskAppDelegate::retirePreviousTask()
{
    // A task of an earlier run (stopped, or ended by completion) must not
    // report its end into a later one.
    if (MFTask *previous = m_run ? m_run->takeTask() : nullptr) {
        previous->invalidate();
        previous->deleteLater();
    }
}

BackupRunTools MFTaskAppDelegate::runTools()
{
    BackupRunTools tools;
    tools.tasks = m_services.tasks;
    tools.volumes = &m_volumeTools;
    tools.clock = m_services.clock;
    tools.privilegedRunner = m_services.privilegedRunner;
    tools.toolDirectory = m_services.toolDirectory;
    tools.excludeListPath = m_services.excludeListPath;
    tools.rsyncPath = m_services.toolDirectory.isEmpty() ? auxiliaryToolPath(QStringLiteral("rsync"))
                                                         : m_services.toolDirectory + QStringLiteral("/rsync");
    tools.copyObserver = m_observer.get();
    tools.mainThread = thread();
    tools.lastAssessingSecond = &m_lastAssessingSecond;
    return tools;
}

void MFTaskAppDelegate::startBackup(JobRecord *jobDictionary)
{
    if (backupSources.isEmpty() || backupDest.isEmpty()) {
        qWarning("startBackup: no source or no destination");
        return;
    }
    m_announcer.starting(displayNameForPath(backupDest));
    retirePreviousTask();
    m_userSaidStop = false;
    m_runFinished = false;
    m_taskDelegate.resetRunObservations();
    m_window.showRunning();
    handleLinkDest();

    BackupRunRequest request;
    request.runId = ++m_runId;
    request.backupSources = backupSources;
    request.backupDest = backupDest;
    request.linkDest = linkDest;
    request.excludedFiles = excludedFiles;
    request.isRestore = isRestore;
    request.isFinderCopy = isFinderCopy;
    request.protectRoot = SharedDefaults::protectRoot(*getUserDefaults());
    request.snapshotsToKeep = snapshotsToKeep;
    request.modeRow = m_view->selectedModeRow();
    request.jobDictionary = jobDictionary;
    m_run = std::make_shared<BackupRun>(std::move(request), *m_runLink, runTools());
    m_workers.start([this, run = m_run] { worker(run); });
}

void MFTaskAppDelegate::worker(const std::shared_ptr<BackupRun> &run)
{
    if (run->rotateOldSnapshots() && run->checkVolumes() && run->prepare())
        enumerateSubdirectories(*run);
}

void MFTaskAppDelegate::enumerateSubdirectories(BackupRun &run)
{
    if (run.dryRun())
        run.launchCopy();
}

// --- End of a run ------------------------------------------------------------

void MFTaskAppDelegate::backupComplete()
{
    // Only the run in progress completes, once: a late or repeated
    // "BackupComplete" must not stop the next job that dispatch has started.
    if (m_runFinished)
        return;
    m_run->setPhase(BackupRun::Phase::Finishing);
    if (MFTask *task = currentTask()) {
        task->terminate();
        task->invalidate();
    }
    QString detail;
    const RunAnnouncer::Completion completion = m_announcer.completed(backupDest, m_taskDelegate, detail);
    const RunOutcome outcome = completion == RunAnnouncer::Completion::OutOfSpace ? RunOutcome::OutOfSpace
        : completion == RunAnnouncer::Completion::WithErrors                      ? RunOutcome::CompletedWithErrors
                                                                                  : RunOutcome::Completed;
    restoreOwnershipIfNeeded();
    m_volumeTools.blessDest(backupDest);
    // Saving the job makes the new snapshot the pair's link destination, so
    // the next run of the pair hard-links against it.
    if (m_run->writesSnapshot())
        addToScheduleClicked();
    m_window.showIdle();
    if (!detail.isEmpty()) {
        // After the reader's own queued "Backup Complete." text.
        postToMain([this, detail] { m_window.showStatus(detail); });
    }
    m_inBackupComplete = true;
    finishRun(outcome, detail);
    m_inBackupComplete = false;
    if (isFinderCopy)
        m_view->terminateApplication();
    if (m_dispatcher)
        m_dispatcher->continueAfterRun();
}

void MFTaskAppDelegate::taskEndedWithoutSummary(MFTask *task)
{
    if (task != currentTask() || m_runFinished || m_userSaidStop)
        return;
    m_run->setPhase(BackupRun::Phase::Finishing);
    // rsync ended without its summary: a fatal error (unwritable destination,
    // vanished source volume) or a kill from outside.
    QString detail = m_taskDelegate.lastErrorLine();
    if (detail.isEmpty())
        detail = QStringLiteral("rsync %1").arg(task->terminationDescription());
    const RunOutcome outcome = m_taskDelegate.sawOutOfSpace() ? RunOutcome::OutOfSpace : RunOutcome::Failed;
    m_announcer.failed(backupDest, detail);
    restoreOwnershipIfNeeded();
    m_window.showEnded(detail);
    // Again after the texts the reader has queued from the last output, so
    // the reason stays on show.
    postToMain([this, detail] { m_window.showStatus(detail); });
    finishRun(outcome, detail);
    if (isFinderCopy)
        m_view->terminateApplication();
}

// --- Start button, stop, kill --------------------------------------------------

void MFTaskAppDelegate::startButtonClicked()
{
    m_taskDelegate.resetForNew();
    if (getStartButtonTitleOnMainThread() != stopTitle()) {
        startBackup();
        return;
    }
    m_userSaidStop = true;
    if (m_run)
        m_run->requestStop();
    m_window.showIdle();
    m_taskDelegate.resetForNew();
    restoreOwnershipIfNeeded();
    finishRun(RunOutcome::Stopped, QString());
    if (isFinderCopy)
        m_view->terminateApplication();
}

void MFTaskAppDelegate::stop()
{
    _killTask();
}

void MFTaskAppDelegate::_killTask()
{
    if (m_run)
        m_run->killChildren();
}

// --- Restore -------------------------------------------------------------------

void MFTaskAppDelegate::restoreBackup()
{
    isRestore = true;
    const QString source = RestoreChoosers::chooseSource(*m_view);
    if (!source.isEmpty()) {
        if (backupSources.isEmpty())
            backupSources.append(source);
        else
            backupSources[0] = source;
        const QString dest = RestoreChoosers::chooseDestination(*m_view);
        if (!dest.isEmpty()) {
            backupDest = dest;
            startBackup();
        }
    }
    isRestore = false;
}

// --- Quitting ------------------------------------------------------------------

bool MFTaskAppDelegate::applicationShouldTerminate()
{
    if (!isFinderCopy && isRunning() && !userSelectedShouldTerminate) {
        m_view->askToQuitDuringBackup(
            QStringLiteral("Backup currently in progress"),
            QStringLiteral("%1 is currently performing a backup. Are you sure you want to quit?")
                .arg(QStringLiteral("org.vellumor.Vellumor")));
        return false;
    }
    m_userSaidStop = true;
    if (m_run)
        m_run->requestStop();
    return true;
}

void MFTaskAppDelegate::quitOrCancel(int returnCode)
{
    if (returnCode != 1000)
        return;
    restoreOwnershipIfNeeded();
    userSelectedShouldTerminate = true;
    m_view->terminateApplication();
}
