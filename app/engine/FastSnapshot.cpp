#include "FastSnapshot.h"

#include "BackupArguments.h"
#include "HardLinkClone.h"
#include "TaskTermination.h"

#include <QFile>

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

double seconds(const QElapsedTimer &timer)
{
    return double(timer.elapsed()) / 1000.0;
}

} // namespace

FastSnapshot::FastSnapshot(QStringList linkedArguments, QString previousSnapshot, QString workingFolder,
                           const std::atomic<bool> *stop)
    : m_linkedArguments(std::move(linkedArguments))
    , m_previousSnapshot(std::move(previousSnapshot))
    , m_workingFolder(std::move(workingFolder))
    , m_stop(stop)
{}

FastSnapshot::~FastSnapshot()
{
    if (m_cloneThread.joinable())
        m_cloneThread.join();
}

QStringList FastSnapshot::dryRunArguments(const QStringList &linkedArguments, const QString &previousSnapshot)
{
    QStringList arguments = withoutLinking(linkedArguments);
    const QString usualFormat = QString::fromUtf16(outFormatArgument);
    for (QString &argument : arguments) {
        if (argument == usualFormat)
            argument = QString::fromUtf8(SnapshotChangeList::changeListOutFormat());
    }
    if (!arguments.isEmpty())
        arguments.last() = previousSnapshot;
    return QStringList{QStringLiteral("--dry-run")} + arguments;
}

QStringList FastSnapshot::copyArguments(const QStringList &linkedArguments)
{
    QStringList arguments = withoutLinking(linkedArguments);
    arguments.removeAll(QStringLiteral("--filter=P /*"));
    // Before the first "--exclude" pair, where the linked list's options end.
    qsizetype options = arguments.indexOf(QStringLiteral("--stats"));
    options = options < 0 ? 0 : options + 1;
    for (const QString &option : {QStringLiteral("--delete-excluded"), QStringLiteral("--delete")}) {
        if (!arguments.contains(option))
            arguments.insert(options, option);
    }
    return arguments;
}

bool FastSnapshot::changeListComplete(const TaskTermination &dryRunEnd)
{
    // 23: some entries could not be read, 24: some vanished; the copy reads
    // the same sources and meets the same errors.
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
    qInfo("fast snapshot: clone %.2f s (%llu linked, %llu folders, %llu left for rsync)", seconds(timer),
          static_cast<unsigned long long>(result.linked), static_cast<unsigned long long>(result.folders),
          static_cast<unsigned long long>(result.skipped));
}

void FastSnapshot::finishClone(const TaskTermination &dryRunEnd)
{
    m_changes.finish();
    m_changeListComplete = changeListComplete(dryRunEnd);
    qInfo("fast snapshot: dry run %.2f s (%zu entries to detach)", seconds(m_dryRunTimer),
          m_changes.entriesToDetach().size());
    if (m_cloneThread.joinable())
        m_cloneThread.join();
}

std::optional<QString> FastSnapshot::prepareClone()
{
    if (!m_cloneOk)
        return QStringLiteral("Cannot clone the last snapshot %1: %2").arg(m_previousSnapshot, m_cloneError);
    if (!m_changeListComplete)
        return QStringLiteral("The comparison with the last snapshot %1 did not end normally; "
                              "the new snapshot was not written.")
            .arg(m_previousSnapshot);
    QElapsedTimer timer;
    timer.start();
    const int root
        = ::open(QFile::encodeName(m_workingFolder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0)
        return QStringLiteral("Cannot open the new snapshot's folder %1.").arg(m_workingFolder);
    const SnapshotChangeList::DetachResult result
        = SnapshotChangeList::detachEntries(root, m_changes.entriesToDetach());
    ::close(root);
    qInfo("fast snapshot: detach %.2f s (%zu detached, %zu failed)", seconds(timer), result.detached,
          result.failures.size());
    if (!result.failures.empty())
        return QStringLiteral("Cannot detach %1 from the last snapshot's clone (%2 entries in all); "
                              "the new snapshot was not written, so no older snapshot changes.")
            .arg(QString::fromStdString(result.failures.front()))
            .arg(result.failures.size());
    return std::nullopt;
}
