#include "MountTable.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

const MountTable &MountTable::system()
{
    static const StorageInfoMountTable table;
    return table;
}

bool StorageInfoMountTable::isVolumeRoot(const QString &path) const
{
    if (path.isEmpty())
        return false;
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == u"/" || !QFileInfo::exists(cleaned))
        return false;
    // QStorageInfo resolves symbolic links, so compare against the canonical
    // form: a link to a mount point is not itself a volume root.
    const QString canonical = QFileInfo(cleaned).canonicalFilePath();
    if (canonical != cleaned)
        return false;
    const QStorageInfo storage(cleaned);
    return storage.isValid() && QDir::cleanPath(storage.rootPath()) == cleaned;
}
