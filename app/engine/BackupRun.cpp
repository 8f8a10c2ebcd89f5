#include "BackupRun.h"

#include "CheckAndSetAuthorization.h"
#include "ChildLocale.h"
#include "Clock.h"
#include "DryRunAssessor.h"
#include "MFTask.h"
#include "SnapshotRotation.h"
#include "TaskFactory.h"
#include "TaskToEnd.h"
#include "VolumeTools.h"

#include <QDir>
#include <QLocale>
#include <QMetaObject>

extern char **environ;

BackupRun::BackupRun(BackupRunRequest request, BackupRunHost &host, BackupRunTools tools)
    : m_request(std::move(request))
    , m_host(host)
    , m_tools(std::move(tools))
{}

BackupRun::~BackupRun()
{
    // A copy task nobody took lives on the main thread; it goes there.
    if (m_task)
        QMetaObject::invokeMethod(m_task, &QObject::deleteLater, Qt::QueuedConnection);
}

QString BackupRun::cannotStartDetail(const QString &reason)
{
    return QStringLiteral("Cannot start rsync: %1").arg(reason);
}

void BackupRun::post(std::function<void()> step)
{
    m_host.post(m_request.runId, std::move(step));
}

QStringList BackupRun::arguments() const
{
    return m_arguments;
}

bool BackupRun::writesSnapshot() const
{
    return m_input.snapshot;
}

bool BackupRun::stopRequested() const
{
    std::lock_guard guard(m_mutex);
    return m_stopRequested;
}

void BackupRun::requestStop()
{
    std::lock_guard guard(m_mutex);
    m_stopRequested = true;
    if (m_dryRun)
        m_dryRun->killProcessGroup();
    if (m_task && m_task->isRunning()) {
        m_task->terminate();
        m_task->killProcessGroup();
    }
}

void BackupRun::killChildren()
{
    std::lock_guard guard(m_mutex);
    if (m_dryRun)
        m_dryRun->killProcessGroup();
    if (m_task && m_task->isRunning()) {
        m_task->terminate();
        m_task->killProcessGroup();
    }
}

MFTask *BackupRun::task() const
{
    std::lock_guard guard(m_mutex);
    return m_task;
}

MFTask *BackupRun::takeTask()
{
    std::lock_guard guard(m_mutex);
    return std::exchange(m_task, nullptr);
}

// --- Rotating ------------------------------------------------------------------

bool BackupRun::rotateOldSnapshots()
{
    if (m_request.isRestore || m_request.snapshotsToKeep <= 0 || m_request.modeRow != 1)
        return true;
    m_phase = Phase::Rotating;
    SnapshotRemover::Callbacks callbacks;
    auto showStatus
        = [this](const QString &status) { post([&host = m_host, status] { host.showPreparation(status, true); }); };
    callbacks.started = showStatus;
    callbacks.progressed = showStatus;
    callbacks.finished = [this] { post([&host = m_host] { host.showPreparation(std::nullopt, false); }); };
    callbacks.userSaidStop = [this] { return stopRequested(); };
    const SnapshotRemover remover(m_tools.volumes->toolPath(QStringLiteral("dropcount")), *m_tools.tasks);
    SnapshotRotation::handleOldBackupRemoval(m_request.backupDest, m_request.snapshotsToKeep, m_request.linkDest,
                                             remover, callbacks);
    // Stopped during the removal: the stop has ended the run; nothing more
    // is checked, prepared or copied.
    return !stopRequested();
}

// --- Checking ------------------------------------------------------------------

bool BackupRun::checkVolumes()
{
    m_phase = Phase::Checking;
    if (m_host.volumeAvailable(m_request.backupSources.first()) && m_host.volumeAvailable(m_request.backupDest))
        return true;
    // The window need not stay "Stop" for a run that never started.
    post([&host = m_host] { host.runEndedEarly(BackupRunHost::EarlyEnd::VolumeMissing, QString()); });
    return false;
}

bool BackupRun::prepare()
{
    QDir().mkpath(m_request.backupDest);
    CheckAndSetAuthorization::checkSetAuth(m_tools.privilegedRunner, m_tools.toolDirectory);
    post([&host = m_host] { host.clearArguments(); });

    BackupArgumentInput input;
    input.excludeListPath = m_tools.excludeListPath;
    input.trimmedSources = trimmedSources(m_request.backupSources);
    input.backupSources = input.trimmedSources;
    if (input.backupSources.size() == 1 && VolumeTools::doesAppearBootableSource(input.backupSources.first())
        && VolumeTools::doesAppearBootableDestination(m_request.backupDest)) {
        input.backupSources = {withTrailingSlash(input.backupSources.first())};
        input.bootableClone = true;
    }
    input.backupDest = withTrailingSlash(m_request.backupDest);
    qInfo("backupDest:%s", qPrintable(input.backupDest));
    qInfo("backupSources:%s", qPrintable(input.backupSources.join(u", ")));
    // A restore copies back in update mode without deleting, whatever mode
    // row is showing: in Snapshot form it would write a dated folder into
    // the place being restored and drop "--update".
    input.snapshot = !m_request.isRestore && m_request.modeRow != 0;
    input.linkDest = input.snapshot ? m_request.linkDest : QString();
    input.protectRoot = m_request.protectRoot;
    input.isFinderCopy = m_request.isFinderCopy;
    input.isRestore = m_request.isRestore;
    input.snapshotFolderName = snapshotFolderName(m_tools.clock->now(), QLocale());
    input.exclusionPatterns = exclusionPatterns(m_request.excludedFiles, sourcesPassed(input).first());
    m_arguments = backupArgumentList(input);
    m_input = input;
    if (input.snapshot && !input.linkDest.isEmpty())
        qInfo("set backup arguments with linkDest:%s", qPrintable(input.linkDest));
    if (!input.snapshot)
        qInfo("args:%s", qPrintable(m_arguments.join(u' ')));
    post([&host = m_host, input, arguments = m_arguments] { host.runPrepared(input, arguments); });

    if (!makeCopyTask())
        return false;
    m_destHadOwnershipEnabled = m_tools.volumes->checkSetOwnershipOnVolume(true, true, input.backupDest);
    return true;
}

QHash<QString, QString> BackupRun::copyEnvironment() const
{
    QHash<QString, QString> environment;
    for (char **entry = environ; entry && *entry; ++entry) {
        const QString text = QString::fromLocal8Bit(*entry);
        const qsizetype equals = text.indexOf(u'=');
        if (equals > 0)
            environment.insert(text.left(equals), text.mid(equals + 1));
    }
    environment.insert(QStringLiteral("NSUnbufferedIO"), QStringLiteral("YES"));
    return environmentWithUtf8Locale(environment);
}

bool BackupRun::makeCopyTask()
{
    std::unique_ptr<MFTask> task = m_tools.tasks->makeTask();
    task->setLaunchPath(m_tools.rsyncPath);
    task->setDelegate(m_tools.copyObserver);
    task->setCurrentDirectoryPath(QDir::homePath());
    task->setEnvironment(copyEnvironment());
    task->setArguments(m_arguments);
    task->moveToThread(m_tools.mainThread);
    std::lock_guard guard(m_mutex);
    if (m_stopRequested) {
        // Stopped while preparing: launch nothing.
        QMetaObject::invokeMethod(task.release(), &QObject::deleteLater, Qt::QueuedConnection);
        return false;
    }
    m_task = task.release();
    return true;
}

// --- Dry run -------------------------------------------------------------------

bool BackupRun::dryRun()
{
    m_phase = Phase::DryRun;
    std::unique_ptr<MFTask> dryRun = m_tools.tasks->makeTask();
    dryRun->setLaunchPath(m_tools.rsyncPath);
    dryRun->setArguments(QStringList{QStringLiteral("--dry-run")} + m_arguments);
    {
        std::lock_guard guard(m_mutex);
        m_dryRun = dryRun.get();
    }
    DryRunAssessor assessor(*m_tools.lastAssessingSecond);
    const auto measure = [this, &assessor](const QByteArray &chunk) {
        assessor.addChunk(chunk);
        if (assessor.statusDue(m_tools.clock->now().toSecsSinceEpoch()))
            post([&host = m_host, text = assessor.assessingText()] { host.showPreparation(text, std::nullopt); });
    };
    const TaskToEndResult result = runTaskToEnd(*dryRun, measure, [this] { return !stopRequested(); });
    *m_tools.lastAssessingSecond = assessor.lastStatusSecond();
    {
        std::lock_guard guard(m_mutex);
        m_dryRun = nullptr;
    }
    // A stop may also arrive while rsync is silent; the launch must not follow it.
    if (stopRequested()) {
        post([&host = m_host] { host.dryRunStopped(); });
        if (!m_destHadOwnershipEnabled)
            m_tools.volumes->checkSetOwnershipOnVolume(true, false, m_request.backupDest);
        return false;
    }
    if (!result.launched) {
        post([&host = m_host, detail = cannotStartDetail(result.launchError)] {
            host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, detail);
        });
        return false;
    }
    post([&host = m_host, files = assessor.totalFiles(), size = assessor.totalTransferredSize()] {
        host.dryRunMeasured(files, size);
    });
    return true;
}

// --- Copying -------------------------------------------------------------------

void BackupRun::launchCopy()
{
    std::lock_guard guard(m_mutex);
    if (m_stopRequested || !m_task)
        return;
    m_phase = Phase::Copying;
    try {
        m_task->launch();
    } catch (const std::exception &error) {
        post([&host = m_host, detail = cannotStartDetail(QString::fromLocal8Bit(error.what()))] {
            host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, detail);
        });
    }
}
