#include "MFTaskAppDelegate.h"

#include "BackupArguments.h"
#include "BundleLocation.h"
#include "ChildLocale.h"
#include "Clock.h"
#include "DisplayName.h"
#include "JobLoader.h"
#include "LocalNotificationCenter.h"
#include "ScheduleEntry.h"
#include "ScheduledJobDispatcher.h"
#include "SharedDefaults.h"
#include "SharedSchedule.h"
#include "SnapshotRotation.h"
#include "UserNotifications.h"
#include "VolumePresence.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <limits>
#include <unistd.h>

// The request as it stood when startBackup() was called: later changes (such
// as restore mode being cleared right after the start) do not reach the run.
struct MFTaskAppDelegate::RunRequest
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
    JobRecord *jobDictionary = nullptr;
};

// Stands between the task and the output reader: forwards every message and
// notices a copy program that ended without reaching its summary.
class MFTaskAppDelegate::RunObserver : public MFTaskDelegateProtocol
{
public:
    explicit RunObserver(MFTaskAppDelegate *controller) : m_controller(controller) {}
    void taskDidRecieveData(const QByteArray &data, MFTask *task) override
    {
        m_controller->m_taskDelegate.taskDidRecieveData(data, task);
    }
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *task) override
    {
        m_controller->m_taskDelegate.taskDidRecieveErrorData(data, task);
    }
    void taskDidTerminate(MFTask *task) override
    {
        m_controller->m_taskDelegate.taskDidTerminate(task);
        m_controller->taskEndedWithoutSummary(task);
    }
    void taskDidRecieveInvalidate(MFTask *task) override
    {
        m_controller->m_taskDelegate.taskDidRecieveInvalidate(task);
    }
    void taskDidLaunch(MFTask *task) override
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

private:
    MFTaskAppDelegate *m_controller;
};

// The controller as scheduling sees it: dispatch starts jobs through it, and
// loading a job hands the job's settings to it.
class MFTaskAppDelegate::ScheduleLink final : public DispatchController, public ScheduledJobHolder
{
public:
    explicit ScheduleLink(MFTaskAppDelegate *controller) : m_controller(controller) {}

    bool isIdle() const override { return m_controller->m_view->startButtonTitle() == backupTitle(); }
    void loadUIFromDictionary(const JobRecord &record) override { m_controller->loadUIFromDictionary(record); }
    // The record is saved again at completion, from the window's state.
    void startBackup(const JobRecord &) override { m_controller->startBackup(); }
    void terminateApplication() override { m_controller->m_view->terminateApplication(); }

    void adoptScheduledJob(const LoadedJob &job) override
    {
        m_controller->backupSources = {job.sourcePath};
        m_controller->backupDest = job.destPath;
        m_controller->excludedFiles = job.excludedFiles;
        m_controller->snapshotsToKeep = int(std::min<qint64>(job.snapshotLimit, std::numeric_limits<int>::max()));
        m_controller->m_taskDelegate.setSourcePath(job.sourcePath);
    }
    void handleLinkDest() override { m_controller->handleLinkDest(); }

private:
    MFTaskAppDelegate *m_controller;
};

namespace {

// A run's process group: rsync forks a receiver (and the dry run a helper)
// that a signal to the first process alone would leave behind.
void killProcessGroup(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(-pid, SIGTERM);
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
}

} // namespace

MFTaskAppDelegate::MFTaskAppDelegate(MFTaskAppView *view, Services services, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_services(std::move(services))
    , m_volumeTools(m_services.toolDirectory)
    , m_observer(std::make_unique<RunObserver>(this))
{
    if (!m_services.clock)
        m_services.clock = &Clock::system();
    if (m_services.excludeListPath.isEmpty())
        m_services.excludeListPath = excludeListPath();
    if (!m_services.volumeIsMounted)
        m_services.volumeIsMounted = [](const QString &path) { return volumeIsMounted(path); };
    m_scheduleLink = std::make_unique<ScheduleLink>(this);
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
    _killTask();
    // The worker may be waiting for an answer from this (main) thread.
    while (!m_workers.waitForDone(20))
        QCoreApplication::processEvents();
    if (MFTask *task = currentTask()) {
        task->invalidate();
        delete task;
    }
}

MFTask *MFTaskAppDelegate::currentTask() const
{
    std::lock_guard guard(m_launchMutex);
    return m_currentTask.data();
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
    if (!m_destHadOwnershipEnabled && !backupDest.isEmpty())
        checkSetOwnershipOnVolume(true, false, backupDest);
}

QStringList MFTaskAppDelegate::pef() const
{
    if (backupSources.isEmpty())
        return {};
    return exclusionPatterns(excludedFiles, trimmedSources({backupSources.first()}).first());
}

// --- Window states -----------------------------------------------------------

void MFTaskAppDelegate::setWindowRunning()
{
    m_view->setStartButtonTitle(stopTitle());
    m_view->setSourceButtonEnabled(false);
    m_view->setDestButtonEnabled(false);
    m_view->setAddToScheduleButtonEnabled(false);
}

void MFTaskAppDelegate::setWindowIdle()
{
    m_view->setHelpButtonVisible(true);
    m_view->setOptionsButtonEnabled(true);
    m_view->setModeChoiceVisible(true);
    m_view->setDisplayTextVisible(false);
    m_taskDelegate.setMyIndependentCounter(0);
    if (TextField *displayText = m_taskDelegate.displayText())
        displayText->setText(QString());
    m_view->setStartButtonTitle(backupTitle());
    m_view->setSourceButtonEnabled(true);
    m_view->setDestButtonEnabled(true);
    m_view->setAddToScheduleButtonEnabled(true);
    m_taskDelegate.setRunAnimation(false);
    if (TransferAnimationView *animation = m_taskDelegate.animatingView())
        animation->setIconInstances(TransferAnimationView::IconInstances::None);
}

void MFTaskAppDelegate::finishRun(RunOutcome outcome, const QString &detail)
{
    if (m_runFinished)
        return;
    m_runFinished = true;
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
    // A file-manager copy runs no scheduled jobs, not even after its run.
    if (!m_dispatcher || isFinderCopy)
        return;
    // Queued: the run's own clean-up finishes before the next job starts.
    QMetaObject::invokeMethod(
        this, [this] { m_dispatcher->continueAfterRun(); }, Qt::QueuedConnection);
}

void MFTaskAppDelegate::deliverNotification(const QString &title, const QString &text, bool isCompletion)
{
    if (!m_services.notifier) {
        m_view->deliverUserNotification(title, text);
        return;
    }
    UserNotification notification;
    notification.title = title;
    notification.text = text;
    if (isCompletion) {
        // A click shows the finished backup; the default sound marks the end.
        notification.revealPath = backupDest;
        notification.playSound = true;
    }
    m_services.notifier->deliverNotification(notification);
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
    if (!candidate.isEmpty() && QFileInfo::exists(candidate)) {
        linkDest = candidate;
        const QStringList parts = candidate.split(u'/', Qt::SkipEmptyParts);
        m_view->setLinkDestText(parts.isEmpty() ? candidate : parts.last());
    } else {
        linkDest.clear();
        m_view->setLinkDestText(QStringLiteral(" "));
    }
}

void MFTaskAppDelegate::startBackup(JobRecord *jobDictionary)
{
    if (backupSources.isEmpty() || backupDest.isEmpty()) {
        qWarning("startBackup: no source or no destination");
        return;
    }
    deliverNotification(QStringLiteral("Backup Starting"),
                        QStringLiteral("Backup starting to %1").arg(displayNameForPath(backupDest)), false);
    // A task of an earlier run (stopped, or ended by completion) must not
    // report its end into this one.
    MFTask *previousTask = nullptr;
    {
        std::lock_guard guard(m_launchMutex);
        previousTask = m_currentTask.data();
        m_currentTask = nullptr;
    }
    if (previousTask) {
        previousTask->invalidate();
        previousTask->deleteLater();
    }
    m_destHadOwnershipEnabled = false;
    m_userSaidStop = false;
    m_runFinished = false;
    m_runIsSnapshot = false;
    m_taskDelegate.resetRunObservations();
    setWindowRunning();
    handleLinkDest();

    RunRequest request;
    request.runId = ++m_runId;
    request.backupSources = backupSources;
    request.backupDest = backupDest;
    request.linkDest = linkDest;
    request.excludedFiles = excludedFiles;
    request.isRestore = isRestore;
    request.isFinderCopy = isFinderCopy;
    request.protectRoot = SharedDefaults::protectRoot(*getUserDefaults());
    request.snapshotsToKeep = snapshotsToKeep;
    request.jobDictionary = jobDictionary;
    m_workers.start([this, request] { worker(request); });

    if (ProgressIndicator *bar = m_view->progressBar())
        bar->setIndeterminate(true);
    m_view->startProgressAnimation();
    m_view->setProgressBarVisible(true);
    m_view->setOptionsButtonEnabled(false);
    m_view->setHelpButtonVisible(false);
    m_view->setModeChoiceVisible(false);
    m_view->setDisplayTextVisible(true);
}

void MFTaskAppDelegate::worker(const RunRequest &request)
{
    const quint64 runId = request.runId;
    auto stillThisRun = [this, runId] { return m_runId == runId; };

    if (!request.isRestore && request.snapshotsToKeep > 0
        && getDuplicateOrHardlinksSelectedThingOnTheMainThread() == 1) {
        SnapshotRemover::Callbacks callbacks;
        auto showStatus = [this](const QString &status) {
            postToMain([this, status] {
                if (ProgressIndicator *bar = m_view->progressBar())
                    bar->setIndeterminate(true);
                if (TextField *field = m_view->jobState())
                    field->setText(status);
            });
        };
        callbacks.started = showStatus;
        callbacks.progressed = showStatus;
        callbacks.finished = [this] {
            postToMain([this] {
                if (ProgressIndicator *bar = m_view->progressBar())
                    bar->setIndeterminate(false);
            });
        };
        callbacks.userSaidStop = [this] { return bool(m_userSaidStop); };
        SnapshotRotation::handleOldBackupRemoval(request.backupDest, request.snapshotsToKeep, request.linkDest,
                                                 SnapshotRemover(m_volumeTools.toolPath(QStringLiteral("dropcount"))),
                                                 callbacks);
        // Stopped during the removal: the stop has ended the run; nothing
        // more is checked, prepared or copied.
        if (m_userSaidStop)
            return;
    }

    if (!displayErrorIfVolumeNotMounted(request.backupSources.first())
        || !displayErrorIfVolumeNotMounted(request.backupDest)) {
        // The window need not stay "Stop" for a run that never started.
        postToMain([this, stillThisRun] {
            if (!stillThisRun() || m_runFinished)
                return;
            setWindowIdle();
            finishRun(RunOutcome::VolumeMissing, QString());
        });
        return;
    }

    QDir().mkpath(request.backupDest);
    CheckAndSetAuthorization::checkSetAuth(m_services.privilegedRunner, m_services.toolDirectory);
    postToMain([this] { m_view->setArgumentRows({}); });

    BackupArgumentInput input;
    input.excludeListPath = m_services.excludeListPath;
    input.trimmedSources = trimmedSources(request.backupSources);
    input.backupSources = input.trimmedSources;
    if (input.backupSources.size() == 1 && VolumeTools::doesAppearBootableSource(input.backupSources.first())
        && VolumeTools::doesAppearBootableDestination(request.backupDest)) {
        input.backupSources = {withTrailingSlash(input.backupSources.first())};
        input.bootableClone = true;
    }
    input.backupDest = withTrailingSlash(request.backupDest);
    qInfo("backupDest:%s", qPrintable(input.backupDest));
    qInfo("backupSources:%s", qPrintable(input.backupSources.join(u", ")));
    // A restore copies back in update mode without deleting, whatever mode
    // row is showing: in Snapshot form it would write a dated folder into
    // the place being restored and drop "--update".
    input.snapshot = !request.isRestore && getDuplicateOrHardlinksSelectedThingOnTheMainThread() != 0;
    input.linkDest = input.snapshot ? request.linkDest : QString();
    input.protectRoot = request.protectRoot;
    input.isFinderCopy = request.isFinderCopy;
    input.isRestore = request.isRestore;
    input.snapshotFolderName = snapshotFolderName(m_services.clock->now(), QLocale());
    input.exclusionPatterns = exclusionPatterns(request.excludedFiles, sourcesPassed(input).first());
    const QStringList arguments = backupArgumentList(input);
    if (input.snapshot && !input.linkDest.isEmpty())
        qInfo("set backup arguments with linkDest:%s", qPrintable(input.linkDest));
    if (!input.snapshot)
        qInfo("args:%s", qPrintable(arguments.join(u' ')));

    postToMain([this, stillThisRun, input, arguments, job = request.jobDictionary] {
        if (!stillThisRun())
            return;
        backupSources = input.backupSources;
        backupDest = input.backupDest;
        m_runIsSnapshot = input.snapshot;
        if (input.snapshot) {
            linkDest = arguments.last();
            if (job)
                job->insert(JobKey::linkDest, linkDest);
            const QStringList parts = linkDest.split(u'/', Qt::SkipEmptyParts);
            m_view->setLinkDestText(parts.isEmpty() ? linkDest : parts.last());
        }
        QList<Argument> rows;
        for (const QString &argument : arguments)
            rows.append(Argument(argument));
        m_view->setArgumentRows(rows);
    });

    auto *task = new MFTask;
    task->moveToThread(thread());
    postToMain([this, stillThisRun, source = input.backupSources.first(), finderCopy = request.isFinderCopy] {
        if (!stillThisRun())
            return;
        if (ProgressIndicator *bar = m_view->progressBar()) {
            bar->setValue(0);
            bar->setMaxValue(0);
        }
        m_taskDelegate.setProgressBar(m_view->progressBar());
        m_taskDelegate.setJobState(m_view->jobState());
        m_taskDelegate.setAnimatingView(m_view->animatingView());
        m_taskDelegate.setSourcePath(source);
        m_taskDelegate.setDisplayText(m_view->displayText());
        m_taskDelegate.setIsFinderCopy(finderCopy);
        m_taskDelegate.setMyIndependentCounter(0);
    });

    task->setLaunchPath(auxiliaryToolPath(QStringLiteral("rsync")));
    if (!m_services.toolDirectory.isEmpty())
        task->setLaunchPath(m_services.toolDirectory + QStringLiteral("/rsync"));
    task->setDelegate(m_observer.get());
    task->setCurrentDirectoryPath(QDir::homePath());
    QHash<QString, QString> environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString &key : system.keys())
        environment.insert(key, system.value(key));
    environment.insert(QStringLiteral("NSUnbufferedIO"), QStringLiteral("YES"));
    task->setEnvironment(environmentWithUtf8Locale(environment));
    task->setArguments(arguments);
    {
        std::lock_guard guard(m_launchMutex);
        if (m_userSaidStop || !stillThisRun()) {
            // Stopped, or already replaced by a newer run: launch nothing.
            QMetaObject::invokeMethod(task, &QObject::deleteLater, Qt::QueuedConnection);
            return;
        }
        m_currentTask = task;
    }

    m_destHadOwnershipEnabled = checkSetOwnershipOnVolume(true, true, input.backupDest);
    RunRequest normalised = request;
    normalised.backupDest = input.backupDest;
    enumerateSubdirectories(normalised, arguments);
}

bool MFTaskAppDelegate::shouldStopDryRun()
{
    return m_userSaidStop || getStartButtonTitleOnMainThread() == backupTitle();
}

void MFTaskAppDelegate::endStoppedDryRun(const RunRequest &request)
{
    postToMain([this] {
        if (ProgressIndicator *bar = m_view->progressBar())
            bar->stopAnimation();
        if (TextField *status = m_view->jobState())
            status->setText(QStringLiteral(" "));
    });
    if (!m_destHadOwnershipEnabled)
        checkSetOwnershipOnVolume(true, false, request.backupDest);
}

void MFTaskAppDelegate::enumerateSubdirectories(const RunRequest &request, const QStringList &arguments)
{
    const quint64 runId = request.runId;
    QProcess dryRun;
    dryRun.setProcessChannelMode(QProcess::MergedChannels);
    dryRun.setStandardInputFile(QProcess::nullDevice());
    // Its own process group, like the real run: a terminal's Ctrl-C reaches
    // only us, and a stop kills the dry run with its helper processes.
    dryRun.setChildProcessModifier([] { ::setpgid(0, 0); });
    dryRun.start(currentTask()->launchPath(), QStringList{QStringLiteral("--dry-run")} + arguments);
    if (!dryRun.waitForStarted(-1)) {
        const QString detail = QStringLiteral("Cannot start rsync: %1").arg(dryRun.errorString());
        postToMain([this, runId, detail] {
            if (m_runId != runId)
                return;
            setWindowIdle();
            if (TextField *status = m_view->jobState())
                status->setText(detail);
            finishRun(RunOutcome::Failed, detail);
        });
        return;
    }
    {
        std::lock_guard guard(m_launchMutex);
        m_dryRunPid = pid_t(dryRun.processId());
    }

    DryRunAssessor assessor(m_lastAssessingSecond);
    bool stopped = false;
    while (dryRun.waitForReadyRead(-1) || dryRun.bytesAvailable() > 0) {
        if (shouldStopDryRun()) {
            stopped = true;
            break;
        }
        assessor.addChunk(dryRun.readAll());
        if (assessor.statusDue(m_services.clock->now().toSecsSinceEpoch())) {
            const QString text = assessor.assessingText();
            postToMain([this, text] {
                if (TextField *status = m_view->jobState())
                    status->setText(text);
            });
        }
    }
    m_lastAssessingSecond = assessor.lastStatusSecond();
    {
        std::lock_guard guard(m_launchMutex);
        m_dryRunPid = 0;
    }
    if (stopped)
        killProcessGroup(pid_t(dryRun.processId()));
    dryRun.waitForFinished(-1);

    // A stop may also arrive while rsync is silent; the launch below must
    // not follow it.
    if (stopped || shouldStopDryRun()) {
        endStoppedDryRun(request);
        return;
    }

    const qint64 totalFiles = assessor.totalFiles();
    const qint64 totalSize = assessor.totalTransferredSize();
    postToMain([this, runId, totalFiles, totalSize] {
        if (m_runId != runId)
            return;
        if (TextField *status = m_view->jobState())
            status->setText(QString());
        if (ProgressIndicator *bar = m_view->progressBar())
            bar->setIndeterminate(false);
        m_taskDelegate.setTotalFiles(totalFiles);
        m_taskDelegate.setTotalSize(quint64(std::max<qint64>(totalSize, 0)));
        if (TransferAnimationView *animation = m_taskDelegate.animatingView())
            animation->setIconInstances(TransferAnimationView::IconInstances::Empty);
        m_taskDelegate.setRunAnimation(true);
    });

    std::lock_guard guard(m_launchMutex);
    if (m_userSaidStop || m_runId != runId || !m_currentTask)
        return;
    try {
        m_currentTask->launch();
    } catch (const std::exception &error) {
        const QString detail = QStringLiteral("Cannot start rsync: %1").arg(QString::fromLocal8Bit(error.what()));
        postToMain([this, runId, detail] {
            if (m_runId != runId)
                return;
            setWindowIdle();
            restoreOwnershipIfNeeded();
            if (TextField *status = m_view->jobState())
                status->setText(detail);
            finishRun(RunOutcome::Failed, detail);
        });
    }
}

// --- End of a run ------------------------------------------------------------

void MFTaskAppDelegate::backupComplete()
{
    // Only the run in progress completes, once: a late or repeated
    // "BackupComplete" must not stop the next job that dispatch has started.
    if (m_runFinished)
        return;
    MFTask *task = currentTask();
    if (task) {
        task->terminate();
        task->invalidate();
    }
    const bool outOfSpace = m_taskDelegate.sawOutOfSpace();
    const int errors = m_taskDelegate.errorLineCount();
    const QString firstError = m_taskDelegate.firstErrorLine();

    RunOutcome outcome = RunOutcome::Completed;
    QString detail;
    if (outOfSpace) {
        outcome = RunOutcome::OutOfSpace;
        detail = QStringLiteral("Out of drive space: the copy to %1 is incomplete.").arg(backupDest);
        deliverNotification(QStringLiteral("Out of drive space"), detail, true);
    } else if (errors > 0) {
        // rsync carried on past items it could not copy; the run is not clean.
        outcome = RunOutcome::CompletedWithErrors;
        detail = (errors == 1 ? QStringLiteral("Finished with 1 error: %2")
                              : QStringLiteral("Finished with %1 errors, the first: %2"))
                     .arg(errors)
                     .arg(firstError);
        deliverNotification(QStringLiteral("Operation Complete"),
                            QStringLiteral("Finished transfer to %1 with %2 %3.\n%4")
                                .arg(backupDest)
                                .arg(errors)
                                .arg(errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                                .arg(firstError),
                            true);
    } else {
        deliverNotification(
            QStringLiteral("Operation Complete"),
            QStringLiteral("Finished transfer to %1\nClick this notification to view it.").arg(backupDest), true);
    }
    restoreOwnershipIfNeeded();
    m_volumeTools.blessDest(backupDest);
    // Saving the job makes the new snapshot the pair's link destination, so
    // the next run of the pair hard-links against it.
    if (m_runIsSnapshot)
        addToScheduleClicked();
    setWindowIdle();
    if (!detail.isEmpty()) {
        // After the reader's own queued "Backup Complete." text.
        postToMain([this, detail] {
            if (TextField *status = m_view->jobState())
                status->setText(detail);
        });
    }
    m_inBackupComplete = true;
    finishRun(outcome, detail);
    m_inBackupComplete = false;
    // A file-manager copy ends its process; quitting is queued, so dispatch
    // must not get the chance to start a scheduled job in the meantime.
    if (isFinderCopy) {
        m_view->terminateApplication();
        return;
    }
    if (m_dispatcher)
        m_dispatcher->continueAfterRun();
}

void MFTaskAppDelegate::taskEndedWithoutSummary(MFTask *task)
{
    if (task != currentTask() || m_runFinished || m_userSaidStop)
        return;
    // rsync ended without its summary: a fatal error (unwritable destination,
    // vanished source volume) or a kill from outside.
    QString detail = m_taskDelegate.lastErrorLine();
    if (detail.isEmpty())
        detail = QStringLiteral("rsync %1").arg(task->terminationDescription());
    const RunOutcome outcome = m_taskDelegate.sawOutOfSpace() ? RunOutcome::OutOfSpace : RunOutcome::Failed;
    deliverNotification(QStringLiteral("Backup Failed"),
                        QStringLiteral("The backup to %1 did not finish.\n%2").arg(backupDest, detail), false);
    restoreOwnershipIfNeeded();
    setWindowIdle();
    if (ProgressIndicator *bar = m_view->progressBar())
        bar->stopAnimation();
    if (TextField *status = m_view->jobState())
        status->setText(detail);
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
    {
        std::lock_guard guard(m_launchMutex);
        m_userSaidStop = true;
    }
    _killTask();
    m_view->setHelpButtonVisible(true);
    m_view->setOptionsButtonEnabled(true);
    m_view->setModeChoiceVisible(true);
    m_view->setDisplayTextVisible(false);
    if (TransferAnimationView *animation = m_taskDelegate.animatingView())
        animation->setIconInstances(TransferAnimationView::IconInstances::None);
    m_view->setStartButtonTitle(backupTitle());
    m_view->setSourceButtonEnabled(true);
    m_view->setDestButtonEnabled(true);
    m_view->setAddToScheduleButtonEnabled(true);
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
    std::lock_guard guard(m_launchMutex);
    killProcessGroup(m_dryRunPid);
    MFTask *task = m_currentTask.data();
    if (task && task->isRunning()) {
        const pid_t pid = pid_t(task->processIdentifier());
        task->terminate();
        killProcessGroup(pid);
    }
}

// --- Restore -------------------------------------------------------------------

void MFTaskAppDelegate::restoreBackup()
{
    isRestore = true;
    const QString source = m_view->chooseFolder(
        true, QStringLiteral("Select Restore Source"),
        QStringLiteral(
            "Select the folder or volume you want to restore *from*.\n"
            "Files will be copied from the place you select here to the Destination.\n"
            "Newer files on Destination will not be replaced by older files from the place you select here.\n"
            "\n"
            "This mode is useful for restoring backups in the following circumstances:\n"
            "\u2022 Restoring your home folder on a backup to your new home folder after doing a Clean "
            "Install of the OS\n"
            "\u2022 Restoring a backup after a disk failure"));
    if (!source.isEmpty()) {
        if (backupSources.isEmpty())
            backupSources.append(source);
        else
            backupSources[0] = source;
        const QString dest = m_view->chooseFolder(
            false, QStringLiteral("Select Restore Destination"),
            QStringLiteral(
                "Select the folder or volume you want to restore *to*.\n"
                "Files will be copied from Source to the place you select here.\n"
                "Newer files on the place you select here will not be replaced by older files from Source."));
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
    {
        std::lock_guard guard(m_launchMutex);
        m_userSaidStop = true;
    }
    _killTask();
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
