#include "MountWatcher.h"

#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The kernel writes space, tab, newline and backslash in a mount point as a
// backslash and three octal digits.
QString decodeMountPoint(const QByteArray &field)
{
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                decoded.append(char(code));
                i += 3;
                continue;
            }
        }
        decoded.append(field[i]);
    }
    return QString::fromLocal8Bit(decoded);
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    // Each line: mount ID, parent ID, major:minor, root, mount point, ...
    QList<MountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        bool ok = false;
        const int id = fields[0].toInt(&ok);
        if (!ok || !fields[4].startsWith('/'))
            continue;
        entries.append({id, decodeMountPoint(fields[4])});
    }
    return entries;
}

QStringList addedMountPoints(const QList<MountEntry> &before, const QList<MountEntry> &after)
{
    QSet<int> known;
    for (const MountEntry &entry : before)
        known.insert(entry.mountId);
    QStringList added;
    for (const MountEntry &entry : after) {
        if (!known.contains(entry.mountId))
            added.append(entry.mountPoint);
    }
    return added;
}

MountWatcher::MountWatcher(const QString &mountInfoPath, QObject *parent) : QObject(parent), m_path(mountInfoPath)
{
    m_fd = ::open(m_path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        qWarning("Cannot open the mount table %s (%s): attached disks go unnoticed", qPrintable(m_path),
                 std::strerror(errno));
        return;
    }
    m_entries = parseMountInfo(readTable());
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MountWatcher::rescan);
}

MountWatcher::~MountWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray MountWatcher::readTable() const
{
    // Read through the watched descriptor from its start: for the kernel's
    // table this is also what the next change is measured against.
    QByteArray text;
    if (::lseek(m_fd, 0, SEEK_SET) < 0)
        return text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, n);
    }
    return text;
}

void MountWatcher::rescan()
{
    if (m_fd < 0)
        return;
    const QList<MountEntry> entries = parseMountInfo(readTable());
    const QStringList added = addedMountPoints(m_entries, entries);
    m_entries = entries;
    if (!added.isEmpty())
        Q_EMIT volumesMounted(added);
}
