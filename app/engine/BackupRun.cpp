#include "BackupRun.h"

#include "CheckAndSetAuthorization.h"
#include "CloneEdits.h"
#include "ChildLocale.h"
#include "Clock.h"
#include "DisplayName.h"
#include "DestinationCapabilities.h"
#include "DryRunAssessor.h"
#include "FastSnapshot.h"
#include "MFTask.h"
#include "RunListFile.h"
#include "PartialFiles.h"
#include "SnapshotFolders.h"
#include "SnapshotRotation.h"
#include "SnapshotSession.h"
#include "SourceChecks.h"
#include "SpaceCheck.h"
#include "TaskFactory.h"
#include "TaskToEnd.h"
#include "VolumeTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

extern char **environ;

BackupRun::BackupRun(BackupRunRequest request, BackupRunHost &host, BackupRunTools tools)
    : m_request(std::move(request))
    , m_host(host)
    , m_tools(std::move(tools))
{}

BackupRun::~BackupRun()
{
    m_cloneStop = true;
    m_fast.reset();
    // A copy task nobody took lives on the main thread; it goes there.
    if (m_task)
        QMetaObject::invokeMethod(m_task, &QObject::deleteLater, Qt::QueuedConnection);
}

namespace {

// Why `destination` could not be made: the first missing folder on its way
// and the system's reason for refusing it.
QString cannotCreateDestinationText(const QString &destination)
{
    QString folder = QDir::cleanPath(destination);
    QString missing = folder;
    while (!QFileInfo::exists(folder) && folder != u"/" && !folder.isEmpty()) {
        missing = folder;
        folder = QFileInfo(folder).path();
    }
    QString reason = QStringLiteral("unknown reason");
    if (::mkdir(QFile::encodeName(missing).constData(), 0777) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else
        ::rmdir(QFile::encodeName(missing).constData());
    return QStringLiteral("Cannot create the destination folder %1: %2").arg(missing, reason);
}

} // namespace

QString BackupRun::cannotStartDetail(const QString &reason)
{
    return QStringLiteral("Cannot start rsync: %1").arg(reason);
}

void BackupRun::post(std::function<void()> step)
{
    m_host.post(m_request.runId, std::move(step));
}

void BackupRun::enterPhase(Phase phase)
{
    m_phase = phase;
    post([&host = m_host, phase] { host.phaseEntered(phase); });
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
    m_cloneStop = true;
    killChildrenLocked();
}

void BackupRun::killChildren()
{
    std::lock_guard guard(m_mutex);
    killChildrenLocked();
}

void BackupRun::killChildrenLocked()
{
    if (m_dryRun)
        m_dryRun->killProcessGroup();
    if (m_task && m_task->isRunning()) {
        // The group first: once rsync itself has ended (as it may at once on
        // SIGTERM) its group can no longer be signalled, and a helper it
        // started would be left running.
        m_task->killProcessGroup();
        m_task->terminate();
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

// --- Checking ------------------------------------------------------------------

bool BackupRun::checkVolumes()
{
    m_phase = Phase::Checking;
    // rsync reads a relative path from its working folder (the dry run's
    // is not the copy's) and one that begins with "-" as an option.
    if (const std::optional<QString> relative
        = SourceChecks::firstRelativePath(m_request.backupSources, m_request.backupDest)) {
        const QString refusal = SourceChecks::relativePathText(*relative);
        qWarning("%s", qUtf8Printable(refusal));
        post([&host = m_host, refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::Refused, refusal); });
        return false;
    }
    if (m_host.volumeAvailable(m_request.backupSources.first()) && m_host.volumeAvailable(m_request.backupDest))
        return true;
    // The window need not stay running for a run that never started.
    post([&host = m_host] { host.runEndedEarly(BackupRunHost::EarlyEnd::VolumeMissing, QString()); });
    return false;
}

bool BackupRun::prepare()
{
    // A destination that exists (a folder, or a file rsync will judge) is
    // used as it is; a missing one is made, or the run says why not.
    if (!QFileInfo::exists(m_request.backupDest) && !QDir().mkpath(m_request.backupDest)) {
        const QString refusal = cannotCreateDestinationText(m_request.backupDest);
        qWarning("%s", qPrintable(refusal));
        post([&host = m_host, refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, refusal); });
        return false;
    }
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
    const QStringList chosenSources = input.backupSources;
    // A restore keeps the user's meaning: "SNAPSHOT/Data/" onto "Data" puts
    // what the snapshot's Data holds into Data, not into Data/Data.
    if (m_request.isRestore && !input.bootableClone)
        input.backupSources = m_request.backupSources;
    m_chosenSources = chosenSources;
    const QStringList excludedFiles = followSourceLinks(input);
    const QString refusal = unsafeSourcesText(input, excludedFiles);
    if (!refusal.isEmpty()) {
        qWarning("%s", qPrintable(refusal));
        post([&host = m_host, refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::Refused, refusal); });
        return false;
    }
    if (!keepWhatTheDestinationHolds(input))
        return false;
    if (input.snapshot && !prepareSnapshot(input))
        return false;
    const QStringList passed = sourcesPassed(input);
    input.exclusionPatterns
        = exclusionPatterns(excludedFiles, passed.first()) + systemExclusionPatterns(passed, input.bootableClone);
    if (exclusionsNeedFile(input.exclusionPatterns) && !writeExclusionFile(input))
        return false;
    m_arguments = backupArgumentList(input);
    removePartialFiles(passed, m_arguments.last());
    if (input.snapshot && m_request.fastSnapshots)
        prepareFastSnapshot(input);
    createWorkingFolder();
    m_input = input;
    if (input.snapshot && !input.linkDest.isEmpty())
        qInfo("set backup arguments with linkDest:%s", qPrintable(input.linkDest));
    if (!input.snapshot)
        qInfo("args:%s", qPrintable(m_arguments.join(u' ')));
    post([&host = m_host, input, arguments = m_arguments, chosenSources] {
        host.runPrepared(input, arguments, chosenSources);
    });

    if (!makeCopyTask())
        return false;
    m_destHadOwnershipEnabled = m_tools.volumes->checkSetOwnershipOnVolume(true, true, input.backupDest);
    return true;
}

bool BackupRun::keepWhatTheDestinationHolds(BackupArgumentInput &input)
{
    const DestinationCapabilities capabilities = DestinationCapabilities::probe(input.backupDest);
    if (input.snapshot) {
        if (const QString refusal = capabilities.snapshotRefusal(input.backupDest); !refusal.isEmpty()) {
            qWarning("%s", qUtf8Printable(refusal));
            post([&host = m_host, refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::Refused, refusal); });
            return false;
        }
    }
    input.keepOwners = capabilities.owners;
    input.keepPermissions = capabilities.permissions;
    input.keepAcls = capabilities.probed && capabilities.acls;
    input.keepXattrs = capabilities.probed && capabilities.userXattrs;
    // Holes cost nothing to keep: where the file system has none, rsync
    // writes the zeros.
    input.keepSparse = true;
    if (const QString lost = capabilities.cannotKeepText(input.backupDest); !lost.isEmpty()) {
        qInfo("%s", qUtf8Printable(lost));
        post([&host = m_host, lost] { host.showPreparation(lost, std::nullopt); });
    }
    return true;
}

void BackupRun::removePartialFiles(const QStringList &sourcesPassed, const QString &target) const
{
    for (const PartialFiles::Landing &landing : PartialFiles::landingsOf(sourcesPassed, target)) {
        const PartialFiles::Removal removal = PartialFiles::removeIn(landing);
        if (removal.removed > 0)
            qInfo("removed %zu partial files an interrupted copy left in %s", removal.removed,
                  qUtf8Printable(landing.folder));
        if (!removal.firstFailure.isEmpty())
            qWarning("cannot remove the partial file %s", qUtf8Printable(removal.firstFailure));
    }
}

QStringList BackupRun::followSourceLinks(BackupArgumentInput &input) const
{
    // rsync copies a source that is a link as the link alone; the folder it
    // points to is what the user meant. Only the source itself is followed.
    QStringList excludedFiles = m_request.excludedFiles;
    for (QStringList *sources : {&input.trimmedSources, &input.backupSources}) {
        for (QString &source : *sources) {
            if (source.endsWith(u'/'))
                continue; // its contents are copied: rsync follows it
            const SourceChecks::ResolvedSource resolved = SourceChecks::resolveSourceLink(source);
            if (!resolved.wasLink)
                continue;
            if (sources == &input.backupSources) {
                qInfo("Source %s is a symbolic link to the folder %s: backing up %s", qPrintable(source),
                      qPrintable(resolved.path), qPrintable(resolved.path));
                excludedFiles = SourceChecks::rebasedEntries(excludedFiles, source, resolved.path);
            }
            source = resolved.path;
        }
    }
    return excludedFiles;
}

QString BackupRun::unsafeSourcesText(const BackupArgumentInput &input, const QStringList &excludedFiles)
{
    const QStringList passed = sourcesPassed(input);
    const QStringList shared = SourceChecks::sharedFinalNames(passed);
    if (!shared.isEmpty())
        return SourceChecks::sharedNamesText(shared);
    const auto into = input.snapshot ? SourceChecks::CopyInto::NewSnapshotFolder : SourceChecks::CopyInto::Destination;
    if (const QString refusal = SourceChecks::destinationRefusal(passed, input.backupDest, excludedFiles, into);
        !refusal.isEmpty())
        return SourceChecks::destinationRefusalText(refusal);
    // Only a run that deletes can lose the copy.
    const bool deletes = !input.snapshot && !input.isFinderCopy && !input.isRestore;
    if (deletes) {
        if (const auto refusal = SourceChecks::emptySourceRefusal(passed, input.backupDest))
            return SourceChecks::refusalText(*refusal);
    }
    return QString();
}

bool BackupRun::writeExclusionFile(BackupArgumentInput &input)
{
    auto file = std::make_unique<RunListFile>(QStringLiteral("exclusions"));
    QString failure;
    if (!file->open() || !file->write(exclusionFileContents(input.exclusionPatterns)))
        failure = QStringLiteral("Cannot write the list of exclusions in %1: %2")
                      .arg(QDir::tempPath(), file->errorString());
    std::lock_guard guard(m_mutex);
    if (m_stopRequested)
        return false; // the stop has ended the run; nothing must stay behind
    if (!failure.isEmpty()) {
        qWarning("%s", qUtf8Printable(failure));
        post([&host = m_host, failure] { host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, failure); });
        return false;
    }
    input.exclusionFilePath = file->fileName();
    m_exclusionFile = std::move(file);
    return true;
}

void BackupRun::removeExclusionFile()
{
    std::unique_ptr<RunListFile> removed;
    std::lock_guard guard(m_mutex);
    removed.swap(m_exclusionFile);
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
    // The copy holds the destination's lock as long as it runs, even if
    // this process is killed.
    if (const std::shared_ptr<SnapshotSession> snapshot = session())
        task->setInheritedDescriptor(snapshot->lock().descriptor());
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
    enterPhase(Phase::DryRun);
    auto assessor = std::make_unique<DryRunAssessor>(*m_tools.lastAssessingSecond);
    TaskToEndResult result;
    if (m_fast) {
        m_fast->startClone();
        result = measureDryRun(m_fast->dryRunArguments(), *assessor,
                               [fast = m_fast.get()](const QByteArray &chunk) { fast->addDryRunChunk(chunk); });
        m_fast->finishClone(result.termination);
    } else {
        result = measureDryRun(QStringList{QStringLiteral("--dry-run")} + m_arguments, *assessor, {});
    }
    if (!dryRunRan(result))
        return false;
    if (m_fast) {
        switch (readyFastClone()) {
        case CloneReadiness::Ready:
            break;
        case CloneReadiness::Ended:
            return false;
        case CloneReadiness::Ordinary:
            // The ordinary copy is measured by its own dry run.
            assessor = std::make_unique<DryRunAssessor>(*m_tools.lastAssessingSecond);
            result = measureDryRun(QStringList{QStringLiteral("--dry-run")} + m_arguments, *assessor, {});
            if (!dryRunRan(result))
                return false;
            break;
        }
    }
    if (!fitsOnDestination(assessor->totalTransferredSize()))
        return false;
    // The fast form's dry run also prints what the clone loses; those lines are no copies.
    const qint64 deletions = m_fast ? qint64(m_fast->deletionCount()) : 0;
    post([&host = m_host, files = std::max<qint64>(0, assessor->totalFiles() - deletions),
          size = assessor->totalTransferredSize()] { host.dryRunMeasured(files, size); });
    return true;
}

bool BackupRun::fitsOnDestination(qint64 bytesToCopy)
{
    // A restore or a file-manager copy lands among the user's own files,
    // where a partial copy is no loss; only backups are held back.
    if (m_request.isRestore || m_request.isFinderCopy)
        return true;
    const std::optional<qint64> available
        = m_tools.freeSpace ? m_tools.freeSpace(m_request.backupDest) : SpaceCheck::freeBytes(m_request.backupDest);
    // The disk's own name when the destination is on one ("Backup Disk"),
    // else the destination folder's.
    const QString root = QStorageInfo(m_request.backupDest).rootPath();
    const QString name = displayNameForPath(root.isEmpty() || root == u"/" ? m_request.backupDest : root);
    const std::optional<QString> refusal = SpaceCheck::refusal(bytesToCopy, available, name);
    if (!refusal)
        return true;
    qInfo("%s", qUtf8Printable(*refusal));
    if (!m_destHadOwnershipEnabled)
        m_tools.volumes->checkSetOwnershipOnVolume(true, false, m_request.backupDest);
    post([&host = m_host, detail = *refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::NoRoom, detail); });
    return false;
}

bool BackupRun::dryRunRan(const TaskToEndResult &result)
{
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
    return true;
}

TaskToEndResult BackupRun::measureDryRun(const QStringList &arguments, DryRunAssessor &assessor,
                                         const std::function<void(const QByteArray &)> &extra)
{
    std::unique_ptr<MFTask> dryRun = m_tools.tasks->makeTask();
    dryRun->setLaunchPath(m_tools.rsyncPath);
    dryRun->setArguments(arguments);
    {
        std::lock_guard guard(m_mutex);
        m_dryRun = dryRun.get();
    }
    const auto measure = [this, &assessor, &extra](const QByteArray &chunk) {
        assessor.addChunk(chunk);
        if (extra)
            extra(chunk);
        if (assessor.statusDue(m_tools.clock->now().toSecsSinceEpoch()))
            post([&host = m_host, text = assessor.assessingText()] { host.showPreparation(text, std::nullopt); });
    };
    const TaskToEndResult result = runTaskToEnd(*dryRun, measure, [this] { return !stopRequested(); });
    *m_tools.lastAssessingSecond = assessor.lastStatusSecond();
    std::lock_guard guard(m_mutex);
    m_dryRun = nullptr;
    return result;
}

BackupRun::CloneReadiness BackupRun::readyFastClone()
{
    if (const std::optional<QString> unusable = m_fast->unusableClone())
        return fallBackToOrdinaryCopy(*unusable) ? CloneReadiness::Ordinary : CloneReadiness::Ended;
    const std::optional<QString> failure = m_fast->prepareClone();
    if (!failure)
        return CloneReadiness::Ready;
    qWarning("%s", qUtf8Printable(*failure));
    // The copy task made in prepare() is never launched; the working folder
    // stays hidden, and the next run completes it the ordinary way.
    post([&host = m_host, detail = *failure] { host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, detail); });
    return CloneReadiness::Ended;
}

bool BackupRun::fallBackToOrdinaryCopy(const QString &because)
{
    const std::shared_ptr<SnapshotSession> snapshot = session();
    const std::optional<QString> failure = snapshot ? setCloneAside(snapshot->workingFolderPath()) : std::nullopt;
    if (failure) {
        qWarning("%s", qUtf8Printable(*failure));
        post([&host = m_host, detail = *failure] { host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, detail); });
        return false;
    }
    qInfo("fast snapshot: ordinary run, as %s", qUtf8Printable(because));
    m_arguments = m_fast->linkedArguments();
    m_fast.reset();
    createWorkingFolder();
    {
        std::lock_guard guard(m_mutex);
        if (m_task)
            m_task->setArguments(m_arguments);
    }
    post([&host = m_host, input = m_input, arguments = m_arguments, chosen = m_chosenSources] {
        host.runPrepared(input, arguments, chosen);
    });
    return true;
}

std::optional<QString> BackupRun::setCloneAside(const QString &workingFolder)
{
    // Only links to the last snapshot's files and folders of the clone's own:
    // removing them changes no snapshot. Renamed first, so that a removal cut
    // short leaves a folder the next run's clean-up removes, never one it
    // would complete.
    const QFileInfo working(QDir::cleanPath(workingFolder));
    if (!working.exists() && !working.isSymLink())
        return std::nullopt;
    const QString asideName = SnapshotFolders::retiringFolderName(working.fileName().mid(1));
    const QByteArray parent = QFile::encodeName(working.path());
    const int parentFd = ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0
        || ::renameat(parentFd, QFile::encodeName(working.fileName()).constData(), parentFd,
                      QFile::encodeName(asideName).constData())
            != 0) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        if (parentFd >= 0)
            ::close(parentFd);
        return QStringLiteral("Cannot set the unfinished clone %1 aside: %2").arg(working.filePath(), error);
    }
    const CloneEdits::Result removed
        = CloneEdits::removeEntries(parentFd, {QFile::encodeName(asideName).toStdString()});
    ::close(parentFd);
    if (!removed.failures.empty())
        qInfo("the unfinished clone %s is removed after the next good run", qUtf8Printable(asideName));
    return std::nullopt;
}

// --- Copying -------------------------------------------------------------------

void BackupRun::launchCopy()
{
    std::lock_guard guard(m_mutex);
    if (m_stopRequested || !m_task)
        return;
    enterPhase(Phase::Copying);
    m_copyTimer.start();
    try {
        m_task->launch();
    } catch (const std::exception &error) {
        post([&host = m_host, detail = cannotStartDetail(QString::fromLocal8Bit(error.what()))] {
            host.runEndedEarly(BackupRunHost::EarlyEnd::CannotStart, detail);
        });
    }
}

// --- Snapshot destination --------------------------------------------------------

std::shared_ptr<SnapshotSession> BackupRun::session() const
{
    std::lock_guard guard(m_mutex);
    return m_session;
}

bool BackupRun::hasWorkingFolder() const
{
    return session() != nullptr;
}

void BackupRun::releaseDestination()
{
    std::shared_ptr<SnapshotSession> released;
    std::lock_guard guard(m_mutex);
    // The lock goes with the last holder: this run's, or a worker's still
    // finishing after a stop.
    released.swap(m_session);
}

// Locks the destination and chooses the link destination (a complete
// snapshot of the job) and the folder to write into. False when the run
// cannot go on; the refusal has been sent to the host.
bool BackupRun::prepareSnapshot(BackupArgumentInput &input)
{
    auto snapshot = std::make_shared<SnapshotSession>(
        *m_tools.clock, [this] { return stopRequested(); }, m_tools.waitForNextMinute);
    SnapshotJob job;
    job.destination = input.backupDest;
    job.ownerName = SnapshotFolders::ownerFolderName(input.backupSources.first());
    job.recordedLinkDest = m_request.linkDest;
    for (const QString &source : trimmedSources(m_request.backupSources))
        job.chosenSources << QDir::cleanPath(source);
    for (const QString &source : m_request.otherSavedJobSources)
        job.otherOwnerNames << SnapshotFolders::ownerFolderName(trimmedSources({source}).constFirst());
    if (const std::optional<QString> refusal = snapshot->begin(job)) {
        qWarning("%s", qUtf8Printable(*refusal));
        post([&host = m_host, detail = *refusal] { host.runEndedEarly(BackupRunHost::EarlyEnd::Refused, detail); });
        return false;
    }
    input.linkDest = snapshot->linkDest();
    // A first bootable clone writes into the destination itself.
    if (input.bootableClone && input.linkDest.isEmpty())
        return true;
    input.snapshotFolderName = snapshot->workingFolderName();
    input.resumingFolder = snapshot->reusesWorkingFolder();
    std::lock_guard guard(m_mutex);
    m_session = std::move(snapshot);
    return true;
}

// The ordinary run's working folder is made here, not by rsync: it is then
// this account's, which can write the snapshot's record into it even when a
// set-user-ID rsync does the copying.
void BackupRun::createWorkingFolder() const
{
    const std::shared_ptr<SnapshotSession> snapshot = session();
    if (!snapshot || m_fast || snapshot->reusesWorkingFolder())
        return;
    const QByteArray path = QFile::encodeName(QDir::cleanPath(snapshot->workingFolderPath()));
    if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST)
        qWarning("cannot create the working folder %s: %s", path.constData(), std::strerror(errno));
}

// Takes the fast form when the run writes a new working folder next to a
// complete previous snapshot; otherwise says why the run stays ordinary.
void BackupRun::prepareFastSnapshot(const BackupArgumentInput &input)
{
    const std::shared_ptr<SnapshotSession> snapshot = session();
    const char *ordinaryBecause = nullptr;
    if (!snapshot || input.linkDest.isEmpty())
        ordinaryBecause = "there is no complete previous snapshot";
    else if (const QFileInfo working(QDir::cleanPath(snapshot->workingFolderPath()));
             input.resumingFolder || working.exists() || working.isSymLink())
        ordinaryBecause = "an earlier run's working folder is completed";
    else if (!FastSnapshot::usableFor(sourcesPassed(input)))
        ordinaryBecause = "a source's contents fill the snapshot's top folder";
    if (ordinaryBecause) {
        qInfo("fast snapshot: ordinary run, as %s", ordinaryBecause);
        return;
    }
    m_fast = std::make_unique<FastSnapshot>(m_arguments, sourcesPassed(input), input.linkDest,
                                            snapshot->workingFolderPath(), &m_cloneStop);
    m_arguments = m_fast->copyArguments();
}

// --- Rotating ------------------------------------------------------------------

SnapshotRunEnd BackupRun::finishSnapshot(bool endedWell, const QString &howItEnded)
{
    SnapshotRunEnd end;
    const std::shared_ptr<SnapshotSession> snapshot = session();
    if (!snapshot)
        return end;
    end.linkDest = snapshot->linkDest();
    end.untrustedNotice = snapshot->untrustedSnapshotsNotice();
    if (m_fast && m_copyTimer.isValid())
        qInfo("fast snapshot: copy %.2f s", double(m_copyTimer.elapsed()) / 1000.0);
    if (!endedWell) {
        end.notCompleted = howItEnded;
        return end;
    }
    if (m_fast && !m_fast->comparisonProblem().isEmpty()) {
        end.notCompleted = m_fast->comparisonProblem();
        return end;
    }
    if (const std::optional<QString> error = snapshot->complete()) {
        end.notCompleted = *error;
        return end;
    }
    end.snapshotPath = snapshot->snapshotPath();
    m_phase = Phase::Rotating;
    SnapshotRemover::Callbacks callbacks;
    auto showStatus
        = [this](const QString &status) { post([&host = m_host, status] { host.showPreparation(status, true); }); };
    callbacks.started = showStatus;
    callbacks.progressed = showStatus;
    callbacks.finished = [this] { post([&host = m_host] { host.showPreparation(std::nullopt, false); }); };
    callbacks.userSaidStop = [this] { return stopRequested(); };
    const SnapshotRemover remover(m_tools.volumes->toolPath(QStringLiteral("dropcount")), *m_tools.tasks);
    end.rotationFailure
        = snapshot->rotate(RetentionRule(m_request.snapshotsToKeep, m_request.thinning), remover, callbacks)
              .failureText();
    if (!end.rotationFailure.isEmpty())
        qWarning("%s", qUtf8Printable(end.rotationFailure));
    return end;
}
