#include "VolumeMenus.h"

#include "DisplayName.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QStorageInfo>

namespace {

// Kernel and runtime file systems that hold no user data.
bool isSystemMount(const QStorageInfo &storage)
{
    const QString root = storage.rootPath();
    if (root == u"/")
        return false;
    static const QStringList hiddenRoots{QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),
                                         QStringLiteral("/run"), QStringLiteral("/boot/efi")};
    for (const QString &hidden : hiddenRoots) {
        if ((root == hidden || root.startsWith(hidden + u'/')) && !root.startsWith(QStringLiteral("/run/media/")))
            return true;
    }
    static const QList<QByteArray> pseudoTypes{"tmpfs", "devtmpfs", "squashfs", "overlay", "ramfs", "efivarfs"};
    return pseudoTypes.contains(storage.fileSystemType());
}

class StorageInfoVolumeLister final : public VolumeLister
{
public:
    QList<MountedVolume> mountedVolumes() const override
    {
        QList<MountedVolume> volumes;
        const QList<QStorageInfo> all = QStorageInfo::mountedVolumes();
        for (const QStorageInfo &storage : all) {
            if (!storage.isValid() || !storage.isReady() || isSystemMount(storage))
                continue;
            const QString root = storage.rootPath();
            volumes.append({root, displayNameForPath(root)});
        }
        return volumes;
    }
};

bool contains(const QString &root, const QString &path)
{
    const QString cleanRoot = QDir::cleanPath(root);
    const QString cleanPath = QDir::cleanPath(path);
    return cleanRoot == u"/" || cleanPath == cleanRoot || cleanPath.startsWith(cleanRoot + u'/');
}

} // namespace

const VolumeLister &VolumeLister::system()
{
    static const StorageInfoVolumeLister lister;
    return lister;
}

namespace VolumeMenus {

QString sourceTitle()
{
    return QStringLiteral("Source");
}

QString destinationTitle()
{
    return QStringLiteral("Destination");
}

QString otherTitle()
{
    return QStringLiteral("Other...");
}

bool isOffered(const MountedVolume &volume)
{
    return !volume.name.isEmpty() && volume.name != u"home" && volume.name != u"net"
        && !volume.rootPath.startsWith(QStringLiteral("/private"));
}

QList<VolumeMenuEntry> menuEntries(const QString &sideTitle, const QList<MountedVolume> &volumes)
{
    QList<VolumeMenuEntry> entries{{VolumeMenuEntry::Kind::Title, sideTitle, QString(), 0}};
    for (int index = 0; index < volumes.size(); ++index) {
        const MountedVolume &volume = volumes.at(index);
        if (isOffered(volume))
            entries.append({VolumeMenuEntry::Kind::Volume, volume.name, volume.rootPath, index});
    }
    entries.append({VolumeMenuEntry::Kind::Separator, QString(), QString(), 0});
    entries.append({VolumeMenuEntry::Kind::Other, otherTitle(), QString(), otherTag});
    return entries;
}

QString volumeRootOf(const QString &path, const QList<MountedVolume> &volumes)
{
    QString best;
    for (const MountedVolume &volume : volumes) {
        if (contains(volume.rootPath, path) && QDir::cleanPath(volume.rootPath).size() > best.size())
            best = QDir::cleanPath(volume.rootPath);
    }
    return best;
}

int selectedPosition(const QList<VolumeMenuEntry> &entries, const QString &currentChoice,
                     const QList<MountedVolume> &volumes)
{
    if (currentChoice.isEmpty())
        return 0;
    const QString root = volumeRootOf(currentChoice, volumes);
    for (int position = 0; position < entries.size(); ++position) {
        const VolumeMenuEntry &entry = entries.at(position);
        if (entry.kind == VolumeMenuEntry::Kind::Volume && !root.isEmpty() && QDir::cleanPath(entry.path) == root)
            return position;
    }
    return 0;
}

QString defaultChooserFolder(bool isSource, const QList<MountedVolume> &volumes)
{
    // The system's own disk holds the user's files in the home folder; "/"
    // itself is nobody's place to back up from or into.
    QString chosen = QDir::homePath();
    for (const MountedVolume &volume : volumes) {
        if (volume.name == u"home" || volume.name == u"net" || volume.rootPath.startsWith(QStringLiteral("/private")))
            continue;
        chosen = QDir::cleanPath(volume.rootPath) == u"/" ? QDir::homePath() : volume.rootPath;
        if (isSource)
            break;
    }
    return chosen;
}

} // namespace VolumeMenus

void VolumePopUpButton::setEntries(const QList<VolumeMenuEntry> &entries, int selectPosition)
{
    const QSignalBlocker blocker(this);
    clear();
    static const QFileIconProvider icons;
    for (const VolumeMenuEntry &entry : entries) {
        switch (entry.kind) {
        case VolumeMenuEntry::Kind::Separator:
            insertSeparator(count());
            break;
        case VolumeMenuEntry::Kind::Volume:
            addItem(icons.icon(QFileInfo(entry.path)), entry.title, entry.tag);
            break;
        case VolumeMenuEntry::Kind::Title:
        case VolumeMenuEntry::Kind::Other:
            addItem(entry.title, entry.tag);
            break;
        }
    }
    // The title only names the menu: choosing it would act as tag 0.
    if (auto *items = qobject_cast<QStandardItemModel *>(model()); items && count() > 0)
        items->item(0)->setFlags(items->item(0)->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    setCurrentIndex(selectPosition);
}

int VolumePopUpButton::tagAt(int position) const
{
    return itemData(position).toInt();
}

void VolumePopUpButton::showPopup()
{
    Q_EMIT menuNeedsUpdate();
    QComboBox::showPopup();
}
