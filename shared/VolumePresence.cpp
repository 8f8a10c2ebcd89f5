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

bool VolumePresence::isUnderRemovableRoot(const QString &path) const
{
    // Whole components only: "/mntdata/x" is not under "/mnt".
    for (const QString &root : m_removableRoots) {
        if (path == root || path.startsWith(root + u'/'))
            return true;
    }
    return false;
}

bool VolumePresence::volumeIsMounted(const QString &path) const
{
    if (path.isEmpty())
        return false;
    QString current = QDir::cleanPath(path);
    if (current == u"/")
        return true;
    if (!isUnderRemovableRoot(current) && QFileInfo::exists(current))
        return true;
    while (!current.isEmpty() && current != u"/") {
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
