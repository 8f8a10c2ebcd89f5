#pragma once

// Whether the volume that holds a path is present:
//  - "/" is present;
//  - a path outside the removable-media roots that exists is present;
//  - otherwise the path and then each parent is tested; the volume is
//    present when one of them is a volume root. Below a removable-media root
//    the walk ends with the root itself (so "/run/media/u/Disk" is present
//    when "/run/media/u/Disk", "/run/media/u" or "/run/media" is a mount, not
//    when only "/run" is); elsewhere it ends before "/".
// So a path on an unplugged disk is absent, and a path inside a plugged-in
// disk is present even when it does not exist yet.
// Safe to call from any thread.

#include <QString>
#include <QStringList>

class MountTable;

class VolumePresence
{
public:
    // The machine's mount table and removable-media roots.
    VolumePresence();
    VolumePresence(const MountTable &mounts, QStringList removableRoots);

    bool volumeIsMounted(const QString &path) const;

private:
    // The longest removable-media root holding `path`, empty when none does.
    QString removableRootOf(const QString &path) const;

    const MountTable &m_mounts;
    QStringList m_removableRoots;
};

// VolumePresence() applied to the path.
bool volumeIsMounted(const QString &path);
