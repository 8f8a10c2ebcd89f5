#include "FastSnapshot.h"

#include "BackupArguments.h"
#include "CloneEdits.h"
#include "HardLinkClone.h"
#include "RunListFile.h"
#include "TaskTermination.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <set>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool isLinkDest(const QString &argument)
{
    return argument.startsWith(u"--link-dest=");
}

// The linked list without what only a copy through the link destination
// uses: "--link-dest=" and the verbosity it was read with.
QStringList withoutLinking(const QStringList &linkedArguments)
{
    QStringList arguments;
    for (const QString &argument : linkedArguments) {
        if (!isLinkDest(argument) && argument != u"-vv")
            arguments << argument;
    }
    return arguments;
}

// In the temporary folder: "/vellumor-transfer-<process id>-XXXXXX".
const QString transferListPrefix = QStringLiteral("/vellumor-transfer-");

double seconds(const QElapsedTimer &timer)
{
    return double(timer.elapsed()) / 1000.0;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString firstOf(const std::vector<std::string> &names)
{
    return names.empty() ? QString() : QFile::decodeName(QByteArray::fromStdString(names.front()));
}

QString detachFailure(const std::vector<std::string> &failures)
{
    return QStringLiteral("Cannot detach %1 from the last snapshot's clone (%2 entries in all); "
                          "the new snapshot was not written, so no older snapshot changes.")
        .arg(firstOf(failures))
        .arg(failures.size());
}

} // namespace

bool FastSnapshot::usableFor(const QStringList &sourcesPassed)
{
    return TransferList::forSources(sourcesPassed).has_value();
}

FastSnapshot::FastSnapshot(QStringList linkedArguments, const QStringList &sourcesPassed, QString previousSnapshot,
                           QString workingFolder, const std::atomic<bool> *stop)
    : m_linkedArguments(std::move(linkedArguments))
    , m_transferList(TransferList::forSources(sourcesPassed).value_or(TransferList()))
    , m_previousSnapshot(std::move(previousSnapshot))
    , m_workingFolder(std::move(workingFolder))
    , m_stop(stop)
    , m_transferListFile(QDir::tempPath() + transferListPrefix + QString::number(::getpid())
                         + QStringLiteral("-XXXXXX"))
{
    removeListsOfEndedRuns();
    // Open now, so that the copy's arguments name the file from the start.
    m_transferListOpen = m_transferListFile.open();
}

// A run that was killed leaves its transfer list behind; the file names the
// process that wrote it, so the next run removes those whose process is gone.
void FastSnapshot::removeListsOfEndedRuns()
{
    RunListFile::removeFilesOfEndedRuns(QStringLiteral("transfer"));
}

FastSnapshot::~FastSnapshot()
{
    if (m_cloneThread.joinable())
        m_cloneThread.join();
}

QStringList FastSnapshot::dryRunArguments(const QStringList &linkedArguments, const QString &previousSnapshot)
{
    QStringList arguments = withoutLinking(linkedArguments);
    const QString usualFormat = QString::fromUtf16(outFormatArgument);
    const QString partialDir = QStringLiteral("--partial-dir=") + partialDirName();
    for (QString &argument : arguments) {
        if (argument == usualFormat)
            argument = QString::fromUtf8(SnapshotChangeList::changeListOutFormat());
        // A dry run writes no partial file, but "--partial-dir" makes rsync
        // look for one beside every file it compares (twice the time). The
        // partial folders stay out of the comparison as they stay out of
        // every copy, and the clone loses those of the previous snapshot,
        // which a new snapshot never holds either.
        if (argument == partialDir)
            argument = QStringLiteral("--exclude=") + partialDirName() + u'/';
    }
    // What the previous snapshot holds and the sources no longer do (or now
    // exclude) is printed as "*deleting"; the dry run deletes nothing.
    qsizetype options = arguments.indexOf(QStringLiteral("--stats"));
    options = options < 0 ? 0 : options + 1;
    for (const QString &option : {QStringLiteral("--delete-excluded"), QStringLiteral("--delete")}) {
        if (!arguments.contains(option))
            arguments.insert(options, option);
    }
    if (!arguments.isEmpty())
        arguments.last() = previousSnapshot;
    return QStringList{QStringLiteral("--dry-run")} + arguments;
}

QStringList FastSnapshot::copyArguments(const QStringList &linkedArguments, const QString &transferListPath)
{
    // The options end with "--link-dest="; exclusions, sources and the
    // working folder follow. The link destination stays: rsync consults it
    // only for the listed entries, and an entry the clone had to leave out
    // (one that belongs to another account, which the kernel lets only its
    // owner link) is then linked by rsync as the ordinary run links it.
    QStringList arguments;
    for (const QString &argument : linkedArguments) {
        if (argument != u"-vv" && argument != u"--filter=P /*" && !argument.startsWith(u"--exclude-from="))
            arguments << argument;
        if (isLinkDest(argument))
            break;
    }
    arguments << QStringLiteral("--from0") << QStringLiteral("--files-from=") + transferListPath
              << QStringLiteral("--ignore-missing-args") << QStringLiteral("--") << QStringLiteral("/");
    if (!linkedArguments.isEmpty())
        arguments << linkedArguments.last();
    return arguments;
}

bool FastSnapshot::changeListComplete(const TaskTermination &dryRunEnd)
{
    // 24: some entries vanished while rsync listed them, which changes
    // nothing it could read. 23: some could not be read; the copy still
    // takes what could, into a folder that does not become a snapshot
    // (comparisonProblem()).
    const int code = dryRunEnd.number;
    return dryRunEnd.kind == TaskTermination::Kind::Exited && (code == 0 || code == 23 || code == 24);
}

void FastSnapshot::startClone()
{
    m_dryRunTimer.start();
    m_cloneThread = std::thread([this] { clone(); });
}

void FastSnapshot::clone()
{
    QElapsedTimer timer;
    timer.start();
    const HardLinkCloneResult result = HardLinkClone(4, m_stop).clone(m_previousSnapshot, m_workingFolder);
    m_cloneOk = result.ok;
    m_cloneError = result.error;
    m_cloneLeftOut = result.leftOut;
    m_cloneLeftOutAFolder = result.leftOutAFolder;
    m_firstFolderLeftOut = result.firstFolderLeftOut;
    m_folderLeftOutBecause = result.folderLeftOutBecause;
    qInfo("fast snapshot: clone %.2f s (%llu linked, %llu folders, %zu left for rsync)", seconds(timer),
          static_cast<unsigned long long>(result.linked), static_cast<unsigned long long>(result.folders),
          result.leftOut.size());
}

void FastSnapshot::finishClone(const TaskTermination &dryRunEnd)
{
    m_changes.finish();
    m_changeListComplete = changeListComplete(dryRunEnd);
    if (dryRunEnd.kind == TaskTermination::Kind::Exited && dryRunEnd.number == 23) {
        const std::string &problem = m_changes.firstProblem();
        m_comparisonProblem = QStringLiteral("the comparison with the last snapshot could not read everything: %1")
                                  .arg(problem.empty() ? QStringLiteral("rsync exited with 23")
                                                       : QString::fromUtf8(problem.data(), qsizetype(problem.size())));
    }
    qInfo("fast snapshot: dry run %.2f s (%zu changed, %zu deleted)", seconds(m_dryRunTimer),
          m_changes.changedEntries().size(), m_changes.deletedEntries().size());
    if (m_cloneThread.joinable())
        m_cloneThread.join();
}

std::optional<QString> FastSnapshot::unusableClone() const
{
    // A stopped clone is no fault of the clone: the run ends with the stop.
    if (!m_cloneOk && !(m_stop && m_stop->load()))
        return QStringLiteral("the last snapshot %1 cannot be cloned: %2").arg(m_previousSnapshot, m_cloneError);
    if (m_cloneLeftOutAFolder)
        return QStringLiteral("the clone of the last snapshot %1 cannot hold its folder %2: %3")
            .arg(m_previousSnapshot, QFile::decodeName(QByteArray::fromStdString(m_firstFolderLeftOut)),
                 m_folderLeftOutBecause.toLower());
    return std::nullopt;
}

std::optional<QString> FastSnapshot::prepareClone()
{
    if (!m_cloneOk)
        return QStringLiteral("Cannot clone the last snapshot %1: %2").arg(m_previousSnapshot, m_cloneError);
    if (m_cloneLeftOutAFolder)
        return QStringLiteral("Cannot clone the folder %1 of the last snapshot %2; the new snapshot was not "
                              "written, and the next run makes it without cloning.")
            .arg(firstOf(m_cloneLeftOut), m_previousSnapshot);
    if (!m_changeListComplete)
        return QStringLiteral("The comparison with the last snapshot %1 did not end normally; "
                              "the new snapshot was not written.")
            .arg(m_previousSnapshot);
    if (!m_transferListOpen)
        return QStringLiteral("Cannot write the list of changed files in %1: %2")
            .arg(QDir::tempPath(), m_transferListFile.errorString());
    QElapsedTimer timer;
    timer.start();
    const int root
        = ::open(QFile::encodeName(m_workingFolder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0)
        return QStringLiteral("Cannot open the new snapshot's folder %1: %2").arg(m_workingFolder, errorText(errno));
    std::optional<QString> failure = pruneClone(root);
    ::close(root);
    if (!failure)
        failure = writeTransferList();
    qInfo("fast snapshot: prune %.2f s", seconds(timer));
    return failure;
}

// Removes what left the sources, then detaches what changed.
std::optional<QString> FastSnapshot::pruneClone(int root)
{
    std::vector<std::string> gone = m_changes.deletedEntries();
    // The previous snapshot may hold a source the job no longer has (rsync
    // deletes only inside the sources it copies).
    if (DIR *listing = ::fdopendir(::dup(root))) {
        while (const dirent *entry = ::readdir(listing)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != ".." && !m_transferList.holdsTopLevelName(name))
                gone.emplace_back(name);
        }
        ::closedir(listing);
    }
    const CloneEdits::Result removed = CloneEdits::removeEntries(root, gone);
    if (!removed.failures.empty())
        return QStringLiteral("Cannot remove %1 from the last snapshot's clone (%2 entries in all); "
                              "the new snapshot was not written.")
            .arg(firstOf(removed.failures))
            .arg(removed.failures.size());
    const CloneEdits::Result detached = CloneEdits::detachEntries(root, m_changes.changedEntries());
    qInfo("fast snapshot: %zu removed, %zu detached", removed.done, detached.done);
    if (!detached.failures.empty())
        return detachFailure(detached.failures);
    return linkHardLinks(root);
}

// A new name of a file the comparison found unchanged (rsync prints it as a
// hard link to that file) becomes one more link to the file's inode in the
// clone, as the ordinary run links it: rsync would only see the new name and
// copy it apart from the rest of its group. Where that link cannot be made,
// the target is detached and copied with the name, which rsync links then.
std::optional<QString> FastSnapshot::linkHardLinks(int root)
{
    const std::set<std::string> changed(m_changes.changedEntries().begin(), m_changes.changedEntries().end());
    std::vector<std::pair<std::string, std::string>> links;
    for (const SnapshotChangeList::HardLink &link : m_changes.hardLinks()) {
        // A changed target is in the copy's list already: rsync writes it
        // anew and links the name to it.
        if (!changed.contains(link.target))
            links.emplace_back(link.name, link.target);
    }
    const CloneEdits::Result linked = CloneEdits::linkEntries(root, links);
    const std::set<std::string> notLinked(linked.failures.begin(), linked.failures.end());
    std::vector<std::string> targetsToDetach;
    for (const auto &[name, target] : links) {
        if (notLinked.contains(name)) {
            m_targetsToCopy.push_back(target);
            targetsToDetach.push_back(target);
        } else {
            m_linkedInClone.push_back(name);
        }
    }
    const CloneEdits::Result detached = CloneEdits::detachEntries(root, targetsToDetach);
    qInfo("fast snapshot: %zu hard links made, %zu left to rsync", linked.done, notLinked.size());
    if (!detached.failures.empty())
        return detachFailure(detached.failures);
    return std::nullopt;
}

std::optional<QString> FastSnapshot::writeTransferList()
{
    const std::set<std::string> linkedInClone(m_linkedInClone.begin(), m_linkedInClone.end());
    std::vector<std::string> transfers;
    for (const std::string &name : m_changes.changedEntries()) {
        if (!linkedInClone.contains(name))
            transfers.push_back(name);
    }
    transfers.insert(transfers.end(), m_targetsToCopy.begin(), m_targetsToCopy.end());
    transfers.insert(transfers.end(), m_cloneLeftOut.begin(), m_cloneLeftOut.end());
    const QByteArray list = m_transferList.fileList(transfers, m_linkedInClone, m_changes.deletedEntries());
    if (m_transferListFile.write(list) != list.size() || !m_transferListFile.flush())
        return QStringLiteral("Cannot write the list of changed files %1: %2")
            .arg(m_transferListFile.fileName(), m_transferListFile.errorString());
    return std::nullopt;
}
