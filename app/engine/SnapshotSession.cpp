#include "SnapshotSession.h"

#include "Clock.h"
#include "SnapshotFolders.h"

#include <QDir>
#include <QFile>
#include <QDirIterator>
#include <QFileInfo>
#include <QThread>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString withSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// rename() that never replaces: a folder rename would silently take the
// place of an existing empty folder of the target name.
int renameNoReplace(const QString &from, const QString &to)
{
#ifdef SYS_renameat2
    const int result = int(::syscall(SYS_renameat2, AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                                     QFile::encodeName(to).constData(), 1 /* RENAME_NOREPLACE */));
    if (result == 0 || (errno != ENOSYS && errno != EINVAL))
        return result == 0 ? 0 : errno;
#endif
    if (entryExists(to))
        return EEXIST;
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 ? 0 : errno;
}

} // namespace

SnapshotSession::SnapshotSession(const Clock &clock, std::function<bool()> stopRequested, MinuteWaiter waiter)
    : m_clock(clock)
    , m_stopRequested(std::move(stopRequested))
    , m_waiter(std::move(waiter))
{
    if (!m_waiter)
        m_waiter = [this] { return sleepUntilNextMinute(); };
}

QString SnapshotSession::chooseLinkDest(const QString &recorded, const QString &destination,
                                        const SnapshotOwnership &ownership)
{
    if (!recorded.isEmpty()) {
        const QFileInfo info(QDir::cleanPath(recorded));
        if (info.isDir() && !info.isSymLink() && SnapshotFolders::doesLookLikeVLMBackupFolder(info.fileName())
            && SnapshotFolders::samePath(info.path(), destination)
            && ownership.verdictFor(recorded) == SnapshotOwnership::Verdict::Own)
            return withSlash(recorded);
    }
    return SnapshotRotation::newestJobSnapshot(destination, ownership);
}

QString SnapshotSession::leftoverWorkingFolder(const QString &destination, const SnapshotOwnership &ownership,
                                               const QList<uid_t> &trustedOwners)
{
    const QString &ownerName = ownership.job().ownerName;
    QString chosen;
    for (const QString &folder : SnapshotRotation::hiddenFolders(destination, SnapshotFolders::isWorkingFolderName)) {
        // Another account's folder is never written into: it could read
        // what this run copies, and change it once it is a snapshot.
        struct stat status = {};
        if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !trustedOwners.contains(status.st_uid))
            continue;
        // A run cut short after a fast clone holds the record of the
        // snapshot it was cloned from: one of this job's, or not its folder.
        if (const std::optional<SnapshotIdentity> record = SnapshotRecord::read(folder);
            record && !record->sameJob(ownership.job().identity))
            continue;
        const QDir dir(folder);
        const bool empty = dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (empty || ownerName.isEmpty() || entryExists(folder + QLatin1Char('/') + ownerName))
            chosen = folder; // listed by name: the last is the newest of a day
    }
    return chosen;
}

bool SnapshotSession::keepOnlyOwnFiles(const QString &folder)
{
    bool allGone = true;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QByteArray path = QFile::encodeName(entries.next());
        struct stat status = {};
        if (::lstat(path.constData(), &status) != 0 || S_ISDIR(status.st_mode) || status.st_nlink < 2)
            continue;
        if (::unlink(path.constData()) != 0) {
            qWarning("cannot unlink %s: %s", path.constData(), std::strerror(errno));
            allGone = false;
        }
    }
    return allGone;
}

std::optional<QString> SnapshotSession::begin(const SnapshotJob &job, const QLocale &locale)
{
    m_job = job;
    m_completed = false;
    if (std::optional<QString> refusal = m_lock.acquire(job.destination))
        return refusal;
    const QList<uid_t> trusted = SnapshotOwnership::trustedOwnersFor(job.destination);
    m_ownership.emplace(SnapshotOwnership::Job{{job.chosenSources, QDir::cleanPath(job.destination)},
                                               job.ownerName,
                                               job.otherOwnerNames},
                        trusted, m_clock.now());
    m_untrustedNotice
        = untrustedSnapshotsText(m_ownership->untrusted(SnapshotRotation::listSnapshotFolders(job.destination)));
    if (!m_untrustedNotice.isEmpty())
        qWarning("%s", qUtf8Printable(m_untrustedNotice));
    m_linkDest = chooseLinkDest(job.recordedLinkDest, job.destination, *m_ownership);
    QString leftover = leftoverWorkingFolder(job.destination, *m_ownership, trusted);
    if (!leftover.isEmpty() && !keepOnlyOwnFiles(leftover)) {
        // Not safe to complete: out of the way, removed after a good run.
        const QString aside = QFileInfo(leftover).path() + QLatin1Char('/')
            + SnapshotFolders::retiringFolderName(SnapshotFolders::folderName(leftover).mid(1));
        ::rename(QFile::encodeName(leftover).constData(), QFile::encodeName(aside).constData());
        leftover.clear();
    }
    m_reused = !leftover.isEmpty();
    m_workingName
        = m_reused ? SnapshotFolders::folderName(leftover) : SnapshotFolders::workingFolderName(m_clock.now(), locale);
    if (!waitForFreeName(locale)) {
        m_lock.release();
        return QStringLiteral("Stopped while waiting for a new snapshot name in %1.")
            .arg(QDir::cleanPath(job.destination));
    }
    return std::nullopt;
}

bool SnapshotSession::waitForFreeName(const QLocale &locale)
{
    // Two runs in one minute (or in a repeated hour when the clocks go back)
    // would share a name: the later run waits for the next minute's name.
    for (;;) {
        m_snapshotName = SnapshotFolders::snapshotFolderName(m_clock.now(), locale);
        if (!entryExists(QDir::cleanPath(m_job.destination) + QLatin1Char('/') + m_snapshotName))
            return true;
        qInfo("snapshot %s exists; waiting for the next minute", qUtf8Printable(m_snapshotName));
        if ((m_stopRequested && m_stopRequested()) || !m_waiter())
            return false;
    }
}

bool SnapshotSession::sleepUntilNextMinute() const
{
    const QDateTime now = m_clock.now();
    const QDateTime minute(now.date(), QTime(now.time().hour(), now.time().minute()), now.timeZone());
    const QDateTime next = minute.addSecs(60);
    while (m_clock.now() < next) {
        if (m_stopRequested && m_stopRequested())
            return false;
        QThread::msleep(250);
    }
    return true;
}

QString SnapshotSession::workingFolderPath() const
{
    return withSlash(QDir::cleanPath(m_job.destination) + QLatin1Char('/') + m_workingName);
}

QString SnapshotSession::snapshotPath() const
{
    return withSlash(QDir::cleanPath(m_job.destination) + QLatin1Char('/') + m_snapshotName);
}

std::optional<QString> SnapshotSession::complete()
{
    const QString from = QDir::cleanPath(workingFolderPath());
    const QString to = QDir::cleanPath(snapshotPath());
    if (!QFileInfo(from).isDir())
        return QStringLiteral("The copy's folder %1 is missing; no snapshot was made.").arg(from);
    // Without its record the snapshot is still whole; it is then told apart
    // by its first source's folder, as snapshots made before records were.
    if (const std::optional<QString> error = SnapshotRecord::write(from, m_ownership->job().identity))
        qWarning("The snapshot's record could not be written: %s", qUtf8Printable(*error));
    if (const int error = renameNoReplace(from, to); error != 0)
        return QStringLiteral("The snapshot \"%1\" could not be named: %2")
            .arg(m_snapshotName, QString::fromLocal8Bit(std::strerror(error)));
    m_completed = true;
    return std::nullopt;
}

RotationReport SnapshotSession::rotate(const RetentionRule &rule, const SnapshotRemover &remover,
                                       const SnapshotRemover::Callbacks &callbacks) const
{
    RotationReport report = SnapshotRotation::removeLeftovers(m_job.destination, remover, callbacks);
    if (report.stopped || !m_completed)
        return report;
    const RotationReport rotation = SnapshotRotation::rotate(m_job.destination, *m_ownership, rule, m_clock.now(),
                                                             {m_linkDest, snapshotPath()}, remover, callbacks);
    report.removed += rotation.removed;
    report.failures += rotation.failures;
    report.stopped = rotation.stopped;
    return report;
}
