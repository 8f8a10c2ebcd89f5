#include "DestinationLock.h"

#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString DestinationLock::busyText(const QString &destination)
{
    return QStringLiteral("Another backup is writing into %1. This backup did not start; try again when that one "
                          "has finished.")
        .arg(QDir::cleanPath(destination));
}

namespace {

// flock() without waiting, again after signals.
int tryLock(int fd)
{
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

} // namespace

bool DestinationLock::isHeld(const QString &destination)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(destination) + QLatin1Char('/') + fileName());
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    // A lock is per open file: trying one on a descriptor of our own tells
    // whether anybody else (another of our descriptors too) holds it.
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::optional<QString> DestinationLock::acquire(const QString &destination, std::chrono::milliseconds grace)
{
    release();
    const QByteArray path = QFile::encodeName(QDir::cleanPath(destination) + QLatin1Char('/') + fileName());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        return QStringLiteral("Cannot lock the destination %1: %2")
            .arg(QDir::cleanPath(destination), QString::fromLocal8Bit(std::strerror(error)));
    }
    const QDeadlineTimer deadline(grace);
    int error = tryLock(fd);
    while (error == EWOULDBLOCK && !deadline.hasExpired()) {
        QThread::msleep(100);
        error = tryLock(fd);
    }
    if (error != 0) {
        ::close(fd);
        if (error == EWOULDBLOCK)
            return busyText(destination);
        return QStringLiteral("Cannot lock the destination %1: %2")
            .arg(QDir::cleanPath(destination), QString::fromLocal8Bit(std::strerror(error)));
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
