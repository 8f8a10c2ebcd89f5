#include "VolumePresence.h"

#include "Locations.h"
#include "MountTable.h"

#include <QDir>
#include <QFileInfo>

VolumePresence::VolumePresence() : VolumePresence(MountTable::system(), Locations::removableMediaRoots())
{}

VolumePresence::VolumePresence(const MountTable &mounts, QStringList removableRoots)
    : m_mounts(mounts)
    , m_removableRoots(std::move(removableRoots))
{}

QString VolumePresence::removableRootOf(const QString &path) const
{
    // Whole components only: "/mntdata/x" is not under "/mnt".
    QString found;
    for (const QString &root : m_removableRoots) {
        const QString clean = QDir::cleanPath(root);
        if ((path == clean || path.startsWith(clean + u'/')) && clean.size() > found.size())
            found = clean;
    }
    return found;
}

bool VolumePresence::volumeIsMounted(const QString &path) const
{
    if (path.isEmpty())
        return false;
    QString current = QDir::cleanPath(path);
    if (current == u"/")
        return true;
    const QString removableRoot = removableRootOf(current);
    if (removableRoot.isEmpty() && QFileInfo::exists(current))
        return true;
    // Below a removable-media root the walk ends at that root: a disk is
    // present only when it is mounted there, never because a file system
    // above the root (a tmpfs on /run, say) is a mount.
    const QString lastTested = removableRoot.isEmpty() ? QStringLiteral("/") : removableRoot;
    while (!current.isEmpty() && current != u"/" && current.size() >= lastTested.size()) {
        if (m_mounts.isVolumeRoot(current))
            return true;
        const qsizetype slash = current.lastIndexOf(u'/');
        if (slash < 0)
            break;
        current = slash == 0 ? QStringLiteral("/") : current.left(slash);
    }
    return false;
}

bool volumeIsMounted(const QString &path)
{
    return VolumePresence().volumeIsMounted(path);
}
