// The controller: start, stop, restore, quit, volumes and scheduling. The end
// of a run (completion, the Snapshot folder and rotation) is in
// MFTaskAppDelegateEnd.cpp.
#include "MFTaskAppDelegate.h"

#include "DestinationLock.h"

#include "BundleLocation.h"
#include "Clock.h"
#include "ControllerLinks.h"
#include "SnapshotFolders.h"
#include "JobLoader.h"
#include "RestoreChoosers.h"
#include "RunHistoryRecorder.h"
#include "LocalNotificationCenter.h"
#include "ScheduleEntry.h"
#include "ScheduledJobDispatcher.h"
#include "SharedDefaults.h"
#include "SharedSchedule.h"
#include "TaskFactory.h"
#include "SourceChecks.h"
#include "VolumePresence.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

namespace {

bool isScheduleRecord(SharedSchedule *schedule, const JobRecord *record)
{
    if (!schedule)
        return false;
    for (qsizetype row = 0; row < schedule->count(); ++row) {
        if (&schedule->recordAt(row) == record)
            return true;
    }
    return false;
}

} // namespace

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
        ScheduleEntry::observeScheduledBackupsDidChange(*schedule, this);
        if (m_services.dispatchScheduledJobs) {
            m_dispatcher = std::make_unique<ScheduledJobDispatcher>(*schedule, *m_scheduleLink, *m_services.clock,
                                                                    m_services.volumeIsMounted);
            // A due job whose destination another run is writing into waits
            // for a later check instead of being refused.
            m_dispatcher->setRunCondition([](const JobRecord &record) -> std::optional<SkipReason> {
                if (DestinationLock::isHeld(JobRecords::destPath(record)))
                    return SkipReason::DestinationLocked;
                return std::nullopt;
            });
            // A job whose destination lies inside its source would copy its
            // older backups again at every run: told once per due date.
            m_dispatcher->setRunRefusal([this](const JobRecord &record) {
                const QString refusal = SourceChecks::destinationRefusal(
                    {JobRecords::sourcePath(record)}, JobRecords::destPath(record), JobRecords::excludedFiles(record),
                    JobRecords::hardlinks(record) ? SourceChecks::CopyInto::NewSnapshotFolder
                                                  : SourceChecks::CopyInto::Destination);
                if (!refusal.isEmpty())
                    m_view->showAlert(QStringLiteral("Can't start backup"),
                                      SourceChecks::destinationRefusalText(refusal));
                return refusal;
            });
        }
    }
    if (m_services.runHistory)
        m_historyRecorder = new RunHistoryRecorder(*this, *m_services.runHistory, *m_services.clock);
    m_workers.setMaxThreadCount(4);
    m_taskDelegate.setAlertPresenter(m_view->alertPresenter());
    LocalNotificationCenter::defaultCenter().addObserver(QStringLiteral("BackupComplete"), this,
                                                         [this](const LocalNotification &) { backupComplete(); });
}

MFTaskAppDelegate::~MFTaskAppDelegate()
{
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

QString MFTaskAppDelegate::getStartButtonTitleOnMainThread() const
{
    return RunStates::startButtonTitle(m_state);
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

bool MFTaskAppDelegate::displayErrorIfDestinationInsideSource()
{
    if (backupSources.isEmpty() || backupDest.isEmpty())
        return true;
    const QString refusal
        = SourceChecks::destinationRefusal(backupSources, backupDest, excludedFiles,
                                           m_view->selectedModeRow() == 1 ? SourceChecks::CopyInto::NewSnapshotFolder
                                                                          : SourceChecks::CopyInto::Destination);
    if (refusal.isEmpty())
        return true;
    m_view->showAlert(QStringLiteral("Can't start backup"), SourceChecks::destinationRefusalText(refusal));
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

void MFTaskAppDelegate::setRunState(RunState state)
{
    const RunState previous = m_state.exchange(state);
    if (previous == state)
        return;
    if (state == RunState::Idle)
        m_window.showIdle();
    else if (previous == RunState::Idle)
        m_window.showRunning();
    m_view->setStartButtonTitle(RunStates::startButtonTitle(state));
    Q_EMIT runStateChanged(state);
}

void MFTaskAppDelegate::finishRun(RunOutcome outcome, const QString &detail, AfterRun after,
                                  const std::optional<QString> &status)
{
    if (m_state == RunState::Idle)
        return;
    setRunState(RunState::Idle);
    if (status)
        m_window.showStatus(*status);
    if (m_run) {
        m_run->setPhase(BackupRun::Phase::Idle);
        m_run->releaseDestination();
        m_run->removeExclusionFile();
    }
    Q_EMIT runFinished(outcome, detail);
    // A run that ended on its own must not strand the jobs waiting behind it
    // (or keep a scheduler-started application open); completion hands over
    // itself, in its order, and a user's stop starts nothing new.
    if (after == AfterRun::HandOverToDispatch && outcome != RunOutcome::Stopped)
        handOverToDispatch();
}

void MFTaskAppDelegate::handOverToDispatch()
{
    // A file-manager copy runs no scheduled jobs, not even after its run.
    if (!m_dispatcher || isFinderCopy)
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

const JobRecord *MFTaskAppDelegate::savedJob(const QString &sourcePath, const QString &destPath) const
{
    return m_services.schedule ? m_services.schedule->matchingDictionaryForSourceAndDestExists(sourcePath, destPath)
                               : nullptr;
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
    job.thinning = thinning;
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
    // The copy with root rights runs only for members of the group vellumor;
    // everyone else starts the plain copy.
    tools.rsyncPath = m_volumeTools.toolPath(QStringLiteral("rsync"));
    tools.copyObserver = m_observer.get();
    tools.mainThread = thread();
    tools.lastAssessingSecond = &m_lastAssessingSecond;
    tools.waitForNextMinute = m_services.waitForNextMinute;
    tools.freeSpace = m_services.freeSpace;
    return tools;
}

void MFTaskAppDelegate::startBackup(JobRecord *jobDictionary)
{
    if (backupSources.isEmpty() || backupDest.isEmpty()) {
        qWarning("startBackup: no source or no destination");
        return;
    }
    retirePreviousTask();
    // Every run starts from a fresh reader, queued runs included: no state,
    // chunk or timer of the last run reaches this one.
    m_taskDelegate.resetForNewRun();
    setRunState(RunState::Preparing);
    handleLinkDest();

    BackupRunRequest request;
    request.runId = ++m_runId;
    request.backupSources = backupSources;
    request.backupDest = backupDest;
    request.linkDest = linkDest;
    request.excludedFiles = excludedFiles;
    request.isRestore = isRestore;
    request.isFinderCopy = isFinderCopy;
    const std::unique_ptr<QSettings> defaults = getUserDefaults();
    request.protectRoot = SharedDefaults::protectRoot(*defaults);
    request.fastSnapshots = fastSnapshotsRequested || SharedDefaults::fastSnapshots(*defaults);
    request.snapshotsToKeep = snapshotsToKeep;
    request.modeRow = m_view->selectedModeRow();
    if (jobDictionary) {
        request.jobSourcePath = JobRecords::sourcePath(*jobDictionary);
        request.jobDestPath = JobRecords::destPath(*jobDictionary);
        // A record of the schedule is found again by its pair when the run
        // needs it (the list may be rewritten meanwhile); only a caller's
        // own record is kept by address.
        if (!isScheduleRecord(m_services.schedule, jobDictionary))
            request.jobDictionary = jobDictionary;
    }
    if (thinning) {
        request.thinning = thinning->policy;
    } else if (const JobRecord *saved
               = jobDictionary ? jobDictionary : savedJob(backupSources.constFirst(), backupDest)) {
        request.thinning = JobRecords::thinning(*saved);
    }
    if (m_services.schedule) {
        for (const JobRecord &record : m_services.schedule->sharedParams()) {
            if (SnapshotFolders::samePath(JobRecords::destPath(record), backupDest)
                && !JobRecords::matchesPair(record, request.jobSourcePath, request.jobDestPath)
                && !JobRecords::matchesPair(record, backupSources.constFirst(), backupDest))
                request.otherSavedJobSources << JobRecords::sourcePath(record);
        }
    }
    m_run = std::make_shared<BackupRun>(std::move(request), *m_runLink, runTools());
    Q_EMIT runStarted();
    m_workers.start([this, run = m_run] { worker(run); });
}

void MFTaskAppDelegate::worker(const std::shared_ptr<BackupRun> &run)
{
    if (run->checkVolumes() && run->prepare())
        enumerateSubdirectories(*run);
}

void MFTaskAppDelegate::enumerateSubdirectories(BackupRun &run)
{
    if (run.dryRun())
        run.launchCopy();
}

// --- Start button, stop, kill --------------------------------------------------

void MFTaskAppDelegate::startButtonClicked()
{
    m_taskDelegate.resetForNew();
    if (!isRunning()) {
        startBackup();
        return;
    }
    endStopped();
}

void MFTaskAppDelegate::endStopped()
{
    setRunState(RunState::Stopping);
    // The stopped task's last chunks and its end belong to no run.
    m_taskDelegate.setCurrentTask(nullptr);
    if (m_run)
        m_run->requestStop();
    m_taskDelegate.resetForNew();
    restoreOwnershipIfNeeded();
    finishRun(RunOutcome::Stopped, QString());
    showStopped();
    if (isFinderCopy)
        m_view->terminateApplication();
}

void MFTaskAppDelegate::stop()
{
    // A user's stop is a stop: never a failure, and no next job.
    if (isRunning())
        endStopped();
    else
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
        // Only the chosen backup is restored: sources left from a backup must
        // not be copied into the restore target too.
        backupSources = QStringList{source};
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
    if (isRunning())
        setRunState(RunState::Stopping);
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
