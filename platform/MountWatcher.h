#pragma once

// Tells of file systems mounted while it runs, from the kernel's mount table.
//
// The kernel flags every change of /proc/self/mountinfo as an exceptional
// condition (POLLPRI) on an open descriptor of it, so a QSocketNotifier of
// type Exception wakes us for each change and nothing polls. On each change
// the table is read again and compared with the last one by mount ID, so a
// disk mounted on a folder that had another mount before still counts as
// new, and a remount (same ID) does not.
//
// What callers may rely on: volumesMounted() is emitted once per change that
// added mounts, with their mount points in table order; mounts present when
// the watcher was made are never reported. rescan() does the same reading on
// demand (a plain file given as the table never signals by itself).

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

struct MountEntry
{
    int mountId = -1;
    QString mountPoint;

    friend bool operator==(const MountEntry &, const MountEntry &) = default;
};

// The entries of a mountinfo text; lines that do not parse are skipped.
// Mount points come back with the kernel's octal escapes (\040 for a space)
// decoded.
QList<MountEntry> parseMountInfo(const QByteArray &text);

// The mount points of entries in after whose mount ID is not in before.
QStringList addedMountPoints(const QList<MountEntry> &before, const QList<MountEntry> &after);

class MountWatcher : public QObject
{
    Q_OBJECT
public:
    static QString systemMountInfoPath() { return QStringLiteral("/proc/self/mountinfo"); }

    explicit MountWatcher(const QString &mountInfoPath = systemMountInfoPath(), QObject *parent = nullptr);
    ~MountWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }
    void rescan();

Q_SIGNALS:
    void volumesMounted(const QStringList &mountPoints);

private:
    QByteArray readTable() const;

    QString m_path;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QList<MountEntry> m_entries;
};
