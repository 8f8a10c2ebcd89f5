#include "SnapshotRotation.h"
#include "SnapshotFolders.h"
#include "TaskToEnd.h"

#include <QDir>
#include <QFileInfo>

SnapshotRemover::Outcome SnapshotRemover::deleteOldBackup(const QString &folder, const Callbacks &callbacks) const
{
    const QString name = QFileInfo(QDir::cleanPath(folder)).fileName();
    if (callbacks.started)
        callbacks.started(QStringLiteral("Deleting old backup: %1").arg(name));

    // Output and errors are counted alike; standard input is /dev/null.
    const std::unique_ptr<MFTask> remover = m_tasks.makeTask();
    remover->setLaunchPath(m_dropcountPath);
    remover->setArguments({QStringLiteral("-rfv"), folder});
    RemovalProgressCounter counter;
    const auto count = [&](const QByteArray &chunk) {
        if (const std::optional<qint64> total = counter.addChunk(chunk); total && callbacks.progressed)
            callbacks.progressed(QStringLiteral("Deleting old backup \"%1\". Files deleted: %2").arg(name).arg(*total));
    };
    const auto keepGoing = [&] { return !callbacks.userSaidStop || !callbacks.userSaidStop(); };
    const TaskToEndResult result = runTaskToEnd(*remover, count, keepGoing);
    if (!result.launched) {
        qWarning("NSTask error 101: cannot start %s: %s", qUtf8Printable(m_dropcountPath),
                 qUtf8Printable(result.launchError));
        return Outcome::CouldNotStart;
    }
    if (result.stoppedByCaller)
        return Outcome::Stopped;
    if (callbacks.finished)
        callbacks.finished();
    return Outcome::Finished;
}

namespace SnapshotRotation {

QStringList listSnapshotFolders(const QString &destination)
{
    QStringList folders;
    const QFileInfoList entries
        = QDir(destination).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (SnapshotFolders::doesLookLikeVLMBackupFolder(entry.fileName()))
            folders << entry.absoluteFilePath();
    }
    return folders;
}

std::optional<QString> handleOldBackupRemoval(const QString &destination, qint64 snapshotsToKeep,
                                              const QString &linkDest, const SnapshotRemover &remover,
                                              const SnapshotRemover::Callbacks &callbacks)
{
    const std::optional<QString> oldest
        = SnapshotFolders::snapshotToRemove(listSnapshotFolders(destination), snapshotsToKeep, linkDest);
    if (!oldest)
        return std::nullopt;
    for (int attempt = 0; attempt < 6 && QFileInfo::exists(*oldest); ++attempt) {
        if (remover.deleteOldBackup(*oldest, callbacks) == SnapshotRemover::Outcome::Stopped)
            break;
    }
    return oldest;
}

} // namespace SnapshotRotation
