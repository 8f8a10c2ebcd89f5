#include "SnapshotRotation.h"
#include "SnapshotFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

SnapshotRemover::Outcome SnapshotRemover::deleteOldBackup(const QString &folder, const Callbacks &callbacks) const
{
    const QString name = QFileInfo(QDir::cleanPath(folder)).fileName();
    if (callbacks.started)
        callbacks.started(QStringLiteral("Deleting old backup: %1").arg(name));

    // Output and errors share one channel; standard input is a pipe that is
    // never written. Runs with wait calls, so no event loop is needed here.
    QProcess remover;
    remover.setProcessChannelMode(QProcess::MergedChannels);
    remover.start(m_dropcountPath, {QStringLiteral("-rfv"), folder});
    if (!remover.waitForStarted(-1)) {
        qWarning("NSTask error 101: cannot start %s: %s", qUtf8Printable(m_dropcountPath),
                 qUtf8Printable(remover.errorString()));
        return Outcome::CouldNotStart;
    }

    RemovalProgressCounter counter;
    for (;;) {
        const bool haveData = remover.bytesAvailable() > 0 || remover.waitForReadyRead(-1);
        if (haveData) {
            if (const std::optional<qint64> total = counter.addChunk(remover.readAll()); total && callbacks.progressed)
                callbacks.progressed(
                    QStringLiteral("Deleting old backup \"%1\". Files deleted: %2").arg(name).arg(*total));
        }
        if (callbacks.userSaidStop && callbacks.userSaidStop()) {
            remover.terminate();
            if (!remover.waitForFinished(2000)) {
                remover.kill();
                remover.waitForFinished(-1);
            }
            return Outcome::Stopped;
        }
        if (!haveData && remover.state() == QProcess::NotRunning)
            break;
    }
    remover.waitForFinished(-1);
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
