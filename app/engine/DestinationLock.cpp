#include "DestinationLock.h"

#include "FileLockHolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only the owner may open the lock file: anybody who can open it can hold
// a lock on it, and every run would be refused while they do.
constexpr mode_t lockFileMode = S_IRUSR | S_IWUSR;

QString cleanDestination(const QString &destination)
{
    return QDir::cleanPath(destination);
}

QByteArray lockFilePath(const QString &destination)
{
    return QFile::encodeName(cleanDestination(destination) + QLatin1Char('/') + DestinationLock::fileName());
}

QString cannotLockText(const QString &destination, const QString &cause)
{
    return QStringLiteral("Cannot lock the destination %1: %2").arg(cleanDestination(destination), cause);
}

QString foreignLockFileText(const QString &destination, uid_t owner)
{
    return cannotLockText(destination,
                          QStringLiteral("its lock file %1 belongs to the account %2")
                              .arg(DestinationLock::fileName(), FileLockHolder::accountName(owner)));
}

// flock() without waiting, again after signals.
int tryLock(int fd)
{
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

// The account holding the lock of this file: the holding process's account
// when the kernel names one, else the file's owner (only the owner, or
// root, can open a private lock file).
uid_t holderOf(const struct stat &file)
{
    return FileLockHolder::flockHolder(file.st_dev, file.st_ino).value_or(file.st_uid);
}

// A lock file we may use: our own, or for root also one of the account that
// owns the destination (a run of that account shares the lock with root's).
bool isOurLockFile(const struct stat &file, const QString &destination)
{
    const uid_t self = ::geteuid();
    if (file.st_uid == self)
        return true;
    struct stat folder = {};
    return self == 0 && ::stat(QFile::encodeName(cleanDestination(destination)).constData(), &folder) == 0
        && folder.st_uid == file.st_uid;
}

// Opens the lock file without following a link and without blocking (a FIFO
// planted under its name must not hang the run); answers the descriptor
// and its status, or the refusal. Anything but a plain file of one name
// (a hard link could be any file of ours) is refused, never changed.
struct OpenedLockFile
{
    int fd = -1;
    struct stat status = {};
    QString refusal;
};

OpenedLockFile openLockFile(const QString &destination, int flags)
{
    OpenedLockFile opened;
    const QByteArray path = lockFilePath(destination);
    opened.fd = ::open(path.constData(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, lockFileMode);
    if (opened.fd < 0) {
        const int error = errno;
        struct stat file = {};
        if (error == EACCES && ::lstat(path.constData(), &file) == 0 && S_ISREG(file.st_mode)) {
            // Another account's private lock file: say whose, and whether
            // one of its runs holds it now.
            opened.refusal = FileLockHolder::flockHolder(file.st_dev, file.st_ino)
                ? DestinationLock::busyText(destination, holderOf(file))
                : foreignLockFileText(destination, file.st_uid);
        } else if (error == ELOOP) {
            opened.refusal = cannotLockText(
                destination, QStringLiteral("its lock file %1 is a symbolic link").arg(DestinationLock::fileName()));
        } else {
            opened.refusal = cannotLockText(destination, QString::fromLocal8Bit(std::strerror(error)));
        }
        return opened;
    }
    if (::fstat(opened.fd, &opened.status) != 0 || !S_ISREG(opened.status.st_mode) || opened.status.st_nlink != 1) {
        opened.refusal = cannotLockText(
            destination, QStringLiteral("its lock file %1 is not a plain file").arg(DestinationLock::fileName()));
    } else if (!isOurLockFile(opened.status, destination)) {
        opened.refusal = foreignLockFileText(destination, opened.status.st_uid);
    }
    if (!opened.refusal.isEmpty()) {
        ::close(opened.fd);
        opened.fd = -1;
    }
    return opened;
}

} // namespace

QString DestinationLock::busyText(const QString &destination, uid_t holder)
{
    return QStringLiteral("Another backup is writing into %1. This backup did not start; try again when that one "
                          "has finished. The destination is locked by the account %2.")
        .arg(cleanDestination(destination), FileLockHolder::accountName(holder));
}

QString DestinationLock::busyText(const QString &destination)
{
    return busyText(destination, ::geteuid());
}

bool DestinationLock::isHeld(const QString &destination)
{
    // A lock file that is not ours is no lock: the run that follows refuses
    // it with a message, instead of waiting for it silently.
    const OpenedLockFile opened = openLockFile(destination, O_RDONLY);
    if (opened.fd < 0)
        return false;
    // A lock is per open file: trying one on a descriptor of our own tells
    // whether anybody else (another of our descriptors too) holds it.
    const bool held = ::flock(opened.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(opened.fd);
    return held;
}

std::optional<QString> DestinationLock::acquire(const QString &destination, std::chrono::milliseconds grace)
{
    release();
    OpenedLockFile opened = openLockFile(destination, O_RDWR | O_CREAT);
    if (opened.fd < 0)
        return opened.refusal;
    const int fd = opened.fd;
    // A lock file left by an older version is readable by everybody: from
    // now on only its owner can open it (a holder of an open descriptor
    // keeps it until it closes).
    if ((opened.status.st_mode & 07777) != lockFileMode && ::fchmod(fd, lockFileMode) != 0)
        qWarning("cannot make %s private: %s", lockFilePath(destination).constData(), std::strerror(errno));
    const QDeadlineTimer deadline(grace);
    int error = tryLock(fd);
    while (error == EWOULDBLOCK && !deadline.hasExpired()) {
        QThread::msleep(100);
        error = tryLock(fd);
    }
    if (error != 0) {
        ::close(fd);
        if (error == EWOULDBLOCK)
            return busyText(destination, holderOf(opened.status));
        return cannotLockText(destination, QString::fromLocal8Bit(std::strerror(error)));
    }
    m_fd = fd;
    return std::nullopt;
}

void DestinationLock::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}
