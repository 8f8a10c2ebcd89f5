#include "SnapshotRotation.h"
#include "SnapshotFolders.h"
#include "TaskToEnd.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

SnapshotRemover::Outcome SnapshotRemover::deleteOldBackup(const QString &folder, const Callbacks &callbacks,
                                                          const QString &displayName, QString *reason) const
{
    const QString name = displayName.isEmpty() ? QFileInfo(QDir::cleanPath(folder)).fileName() : displayName;
    if (callbacks.started)
        callbacks.started(QStringLiteral("Deleting old backup: %1").arg(name));

    // Output and errors are counted alike; standard input is /dev/null.
    const std::unique_ptr<MFTask> remover = m_tasks.makeTask();
    remover->setLaunchPath(m_dropcountPath);
    remover->setArguments({QStringLiteral("-rfv"), folder});
    RemovalProgressCounter counter;
    RemovalErrorCollector errors;
    const auto count = [&](const QByteArray &chunk) {
        errors.addChunk(chunk);
        if (const std::optional<qint64> total = counter.addChunk(chunk); total && callbacks.progressed)
            callbacks.progressed(QStringLiteral("Deleting old backup \"%1\". Files deleted: %2").arg(name).arg(*total));
    };
    const auto keepGoing = [&] { return !callbacks.userSaidStop || !callbacks.userSaidStop(); };
    const TaskToEndResult result = runTaskToEnd(*remover, count, keepGoing);
    if (!result.launched) {
        qWarning("NSTask error 101: cannot start %s: %s", qUtf8Printable(m_dropcountPath),
                 qUtf8Printable(result.launchError));
        if (reason)
            *reason = QStringLiteral("the remover could not start (%1)").arg(result.launchError);
        return Outcome::CouldNotStart;
    }
    if (result.stoppedByCaller)
        return Outcome::Stopped;
    if (reason)
        *reason = errors.firstReason();
    if (callbacks.finished)
        callbacks.finished();
    return Outcome::Finished;
}

QString RotationReport::failureText() const
{
    if (failures.isEmpty())
        return QString();
    const RotationFailure &first = failures.constFirst();
    QString text = QStringLiteral("Could not remove the old snapshot \"%1\": %2").arg(first.snapshotName, first.reason);
    if (failures.size() > 1)
        text += QStringLiteral(" (and %1 more)").arg(failures.size() - 1);
    return text;
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

QStringList jobSnapshotFolders(const QString &destination, const SnapshotOwnership &ownership)
{
    return ownership.ownSnapshots(listSnapshotFolders(destination));
}

QString newestJobSnapshot(const QString &destination, const SnapshotOwnership &ownership)
{
    const std::optional<QString> newest = SnapshotFolders::newestBackup(jobSnapshotFolders(destination, ownership));
    return newest ? QDir::cleanPath(*newest) + QLatin1Char('/') : QString();
}

QStringList hiddenFolders(const QString &destination, bool (*kind)(const QString &))
{
    QStringList folders;
    const QFileInfoList entries
        = QDir(destination)
              .entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (kind(entry.fileName()))
            folders << entry.absoluteFilePath();
    }
    return folders;
}

namespace {

// Runs the remover on a folder already out of the snapshots' way.
void removeRetiring(const QString &retiring, const SnapshotRemover &remover,
                    const SnapshotRemover::Callbacks &callbacks, RotationReport &report)
{
    const QString name = SnapshotFolders::retiredSnapshotName(retiring);
    QString reason;
    const SnapshotRemover::Outcome outcome = remover.deleteOldBackup(retiring, callbacks, name, &reason);
    if (outcome == SnapshotRemover::Outcome::Stopped) {
        report.stopped = true;
        return;
    }
    if (!QFileInfo(retiring).exists() && !QFileInfo(retiring).isSymLink()) {
        report.removed << name;
        return;
    }
    if (reason.isEmpty())
        reason = QStringLiteral("it is still there after the removal");
    report.failures.append({name, reason});
}

} // namespace

void retireSnapshot(const QString &snapshot, const SnapshotRemover &remover,
                    const SnapshotRemover::Callbacks &callbacks, RotationReport &report)
{
    const QString clean = QDir::cleanPath(snapshot);
    const QString name = SnapshotFolders::folderName(clean);
    const QString retiring = QFileInfo(clean).path() + QLatin1Char('/') + SnapshotFolders::retiringFolderName(name);
    if (std::rename(QFile::encodeName(clean).constData(), QFile::encodeName(retiring).constData()) != 0) {
        report.failures.append({name, QString::fromLocal8Bit(std::strerror(errno))});
        return;
    }
    removeRetiring(retiring, remover, callbacks, report);
}

RotationReport removeLeftovers(const QString &destination, const SnapshotRemover &remover,
                               const SnapshotRemover::Callbacks &callbacks)
{
    RotationReport report;
    for (const QString &retiring : hiddenFolders(destination, SnapshotFolders::isRetiringFolderName)) {
        removeRetiring(retiring, remover, callbacks, report);
        if (report.stopped)
            break;
    }
    return report;
}

RotationReport rotate(const QString &destination, const SnapshotOwnership &ownership, const RetentionRule &rule,
                      const QDateTime &now, const QStringList &keep, const SnapshotRemover &remover,
                      const SnapshotRemover::Callbacks &callbacks)
{
    RotationReport report;
    const QStringList retire = rule.toRetire(jobSnapshotFolders(destination, ownership), now, keep);
    for (const QString &snapshot : retire) {
        retireSnapshot(snapshot, remover, callbacks, report);
        if (report.stopped)
            break;
    }
    return report;
}

QList<PruneEntry> prunePlan(const QString &destination, const SnapshotOwnership &ownership, const RetentionRule &rule,
                            const QDateTime &now, const QStringList &keep)
{
    QStringList snapshots = jobSnapshotFolders(destination, ownership);
    std::stable_sort(snapshots.begin(), snapshots.end(), [](const QString &a, const QString &b) {
        const std::optional<QDateTime> left = SnapshotFolders::snapshotDate(a);
        const std::optional<QDateTime> right = SnapshotFolders::snapshotDate(b);
        return left && (!right || *left < *right);
    });
    const QStringList retire = rule.toRetire(snapshots, now, keep);
    QList<PruneEntry> plan;
    for (const QString &snapshot : std::as_const(snapshots))
        plan.append({snapshot, !retire.contains(snapshot)});
    return plan;
}

QList<PruneEntry> prunePlanForJob(const QList<JobRecord> &saved, const QString &source, const QString &dest,
                                  const RetentionRule &rule, const QDateTime &now)
{
    const auto ownerName = [](const QString &path) {
        return SnapshotFolders::ownerFolderName(path.endsWith(u'/') && path != u"/" ? path.chopped(1) : path);
    };
    SnapshotOwnership::Job job;
    job.identity = {{QDir::cleanPath(source)}, QDir::cleanPath(dest)};
    job.ownerName = ownerName(source);
    QStringList keep;
    for (const JobRecord &record : saved) {
        if (JobRecords::matchesPair(record, source, dest))
            keep << JobRecords::linkDest(record);
        else if (SnapshotFolders::samePath(JobRecords::destPath(record), dest))
            job.otherOwnerNames << ownerName(JobRecords::sourcePath(record));
    }
    const SnapshotOwnership ownership(job, SnapshotOwnership::trustedOwnersFor(dest), now);
    return prunePlan(dest, ownership, rule, now, keep);
}

} // namespace SnapshotRotation
