#pragma once

// The destination-volume steps of a run: recognising a bootable system copy,
// switching the volume's ownership setting around a run and blessing a
// bootable destination. The tools ("diskutil", "mount", "bless") are looked
// up in one folder, the bundle's libexec/vellumor by default.
//
// What callers may rely on: checkSetOwnershipOnVolume() waits for "diskutil"
// only; "mount" and "bless" are started detached and never waited for, their
// failures are silent. Every method may run on any thread.

#include "TaskFactory.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// What "diskutil info -plist" says about a volume.
struct DiskutilInfo
{
    bool parsed = false;                   // the output was a property-list dictionary
    bool globalPermissionsEnabled = false; // "GlobalPermissionsEnabled" (integer or boolean)
    QString deviceNode;                    // "DeviceNode", empty when absent
};

// Reads diskutil's answer; anything that is not a dictionary gives parsed = false.
DiskutilInfo parseDiskutilInfo(const QByteArray &output);

// True when `path` is the root of a mounted file system other than "/".
bool isVolumeRoot(const QString &path);
// The mount point of the file system holding `path` (or its nearest existing parent).
QString volumeRootOf(const QString &path);
// `path` made absolute and clean, or its nearest parent that exists ("/" at worst).
QString nearestExistingFolder(const QString &path);
// A destination that does not exist yet is made when the disk it would be on
// is present (`volumeIsMounted` of its nearest existing parent); one on a
// missing disk is left for the run to report. False only when making it failed.
bool makeDestinationOnPresentVolume(const QString &destination,
                                    const std::function<bool(const QString &)> &volumeIsMounted);

class VolumeTools
{
public:
    explicit VolumeTools(QString toolDirectory = QString(), const TaskFactory &tasks = TaskFactory::system());

    // `path` + "System/Library/CoreServices" exists.
    static bool doesAppearBootableSource(const QString &path);
    // `path` is a volume root.
    static bool doesAppearBootableDestination(const QString &path);

    // Whether the volume holding `path` honoured ownership before this call;
    // with `change`, also starts "mount -o owners|noowners -u DEVICE".
    bool checkSetOwnershipOnVolume(bool change, bool enable, const QString &path) const;

    // Starts "bless -folder DEST/System/Library/CoreServices" when `backupDest`
    // is a volume root holding that folder. Returns whether bless was started.
    bool blessDest(const QString &backupDest) const;

    QString toolPath(const QString &name) const;

    // How "mount" and "bless" are started (startDetachedProgram unless
    // replaced, e.g. by a recorder in tests). Answers whether it started.
    using DetachedLauncher = std::function<bool(const QString &program, const QStringList &arguments)>;
    void setDetachedLauncher(DetachedLauncher launcher) { m_startDetached = std::move(launcher); }

private:
    bool startDetached(const QString &program, const QStringList &arguments) const;

    QString m_toolDirectory;
    const TaskFactory *m_tasks;
    DetachedLauncher m_startDetached;
};
