#include "ScheduleFile.h"

#include "Clock.h"
#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The schedule's lock, held from construction to destruction. flock locks
// belong to the open file, so two instances in one process exclude each
// other as two processes do, and the kernel drops the lock of a process
// that dies.
class ScheduleLock
{
public:
    explicit ScheduleLock(const QString &path)
    {
        // Never through a link: the lock is a file of ours beside the schedule.
        m_fd
            = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        int result;
        while ((result = ::flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {}
        if (result != 0) {
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ScheduleLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing the only descriptor releases the lock
    }
    ScheduleLock(const ScheduleLock &) = delete;
    ScheduleLock &operator=(const ScheduleLock &) = delete;

    bool isLocked() const { return m_fd >= 0; }
    QString errorString() const { return QString::fromLocal8Bit(std::strerror(m_error)); }

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

ScheduleFile::ScheduleFile(QString path, const Clock &clock) : m_path(std::move(path)), m_clock(clock)
{}

namespace {

// What a file that cannot be the schedule is, for the log.
QString kindOfFile(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ScheduleReadResult ScheduleFile::read() const
{
    ScheduleReadResult result;
    auto unreadable = [&result](QString why, bool notRegular = false) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = std::move(why);
        result.notRegularFile = notRegular;
        return result;
    };
    const QByteArray path = QFile::encodeName(m_path);
    // Only a regular file of sane size is read: a named pipe would block the
    // open and the read for ever, a link to /dev/zero would never end. The
    // type is checked before the open (so no device is ever opened) and again
    // on the open descriptor (the entry may change in between); O_NONBLOCK
    // keeps a pipe that appears meanwhile from blocking the open.
    struct stat before;
    if (::stat(path.constData(), &before) != 0) {
        if (errno == ENOENT)
            return result;
        return unreadable(errnoText(errno));
    }
    if (!S_ISREG(before.st_mode))
        return unreadable(kindOfFile(before.st_mode), true);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errnoText(errno));
    QByteArray data;
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        return unreadable(errnoText(error));
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return unreadable(kindOfFile(opened.st_mode), true);
    }
    // Read up to one byte past the limit, so a file that grows meanwhile is
    // caught as well.
    const qint64 limit = MaximumSize;
    if (opened.st_size > limit) {
        ::close(fd);
        return unreadable(QStringLiteral("larger than %1 MB").arg(limit / (1024 * 1024)));
    }
    data.resize(qsizetype(opened.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size()) {
            if (filled > limit)
                break;
            data.resize(std::min<qsizetype>(limit + 1, data.size() * 2));
        }
        const ssize_t got = ::read(fd, data.data() + filled, size_t(data.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return unreadable(errnoText(error));
        }
        if (got == 0)
            break;
        filled += got;
    }
    ::close(fd);
    if (filled > limit)
        return unreadable(QStringLiteral("larger than %1 MB").arg(limit / (1024 * 1024)));
    data.truncate(filled);
    if (data.isEmpty()) {
        result.state = ScheduleReadResult::State::Empty;
        return result;
    }
    const std::optional<QVariant> root = PropertyList::fromData(data);
    if (!root) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = QStringLiteral("not a property list");
        return result;
    }
    if (root->typeId() != QMetaType::QVariantList && root->typeId() != QMetaType::QStringList) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = QStringLiteral("the property list's root is not an array");
        return result;
    }
    result.state = ScheduleReadResult::State::Read;
    const QVariantList entries = root->toList();
    for (const QVariant &entry : entries) {
        if (entry.typeId() == QMetaType::QVariantMap)
            result.records.append(entry.toMap());
        else
            ++result.skippedEntries;
    }
    return result;
}

bool ScheduleFile::keepUnreadableFile(const ScheduleReadResult &current, QString *error) const
{
    const QString stem
        = m_path + QStringLiteral(".unreadable-") + m_clock.now().toString(QStringLiteral("yyyy-MM-dd-HHmm"));
    QString keptPath = stem;
    for (int n = 2; QFileInfo::exists(keptPath); ++n)
        keptPath = stem + u'-' + QString::number(n);

    const QByteArray from = QFile::encodeName(m_path);
    const QByteArray to = QFile::encodeName(keptPath);
    if (current.notRegularFile) {
        // A pipe, a device or a link to one is moved aside itself (rename
        // never follows a link), so the new schedule is a fresh regular file
        // and nothing is ever written through it.
        if (::rename(from.constData(), to.constData()) != 0) {
            if (error)
                *error = QStringLiteral("%1 is %2 and could not be moved aside as %3 (%4); it was left unchanged")
                             .arg(m_path, current.error, keptPath, errnoText(errno));
            return false;
        }
    } else if (::link(from.constData(), to.constData()) != 0) {
        // A hard link keeps the very bytes without having to read them, which
        // matters when the file is unreadable because of its permissions.
        const int linkErrno = errno;
        if (!QFile::copy(m_path, keptPath)) {
            if (error)
                *error = QStringLiteral("%1 could not be read (%2) and could not be kept as %3 (%4); "
                                        "it was left unchanged")
                             .arg(m_path, current.error, keptPath, QString::fromLocal8Bit(std::strerror(linkErrno)));
            return false;
        }
    }
    qWarning("Schedule file %s could not be read (%s); kept it as %s before replacing it", qPrintable(m_path),
             qPrintable(current.skippedEntries > 0
                            ? QStringLiteral("%1 entries are not job records").arg(current.skippedEntries)
                            : current.error),
             qPrintable(keptPath));
    return true;
}

bool ScheduleFile::write(const QList<JobRecord> &records, QString *error) const
{
    return update([&records](const QList<JobRecord> &) { return records; }, error).has_value();
}

std::optional<QList<JobRecord>> ScheduleFile::update(const Change &change, QString *error) const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("The folder %1 for the schedule could not be created").arg(folder);
        return std::nullopt;
    }
    const ScheduleLock lock(lockPath());
    if (!lock.isLocked()) {
        if (error)
            *error = QStringLiteral("The schedule could not be locked with %1: %2").arg(lockPath(), lock.errorString());
        return std::nullopt;
    }
    const ScheduleReadResult current = read();
    QList<JobRecord> records = change(current.records);
    if (!writeLocked(records, current, error))
        return std::nullopt;
    return records;
}

bool ScheduleFile::writeLocked(const QList<JobRecord> &records, const ScheduleReadResult &current, QString *error) const
{
    QVariantList array;
    array.reserve(records.size());
    for (const JobRecord &record : records)
        array.append(record);
    QString conversionError;
    const std::optional<QByteArray> xml = PropertyList::toXml(array, &conversionError);
    if (!xml) {
        if (error)
            *error = QStringLiteral("The schedule could not be written to %1: %2").arg(m_path, conversionError);
        return false;
    }

    // A file too large to be read back would be set aside at the next save.
    if (xml->size() > MaximumSize) {
        if (error)
            *error = QStringLiteral("The schedule was not written to %1: it would be larger than %2 MB")
                         .arg(m_path)
                         .arg(MaximumSize / (1024 * 1024));
        return false;
    }

    if (current.wouldLoseData() && !keepUnreadableFile(current, error))
        return false;

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*xml) != xml->size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("The schedule could not be written to %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
