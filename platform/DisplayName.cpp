#include "DisplayName.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

QString displayNameForPath(const QString &path)
{
    if (path.isEmpty())
        return path;
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == u"/")
        return rootVolumeName();
    if (QFileInfo::exists(cleaned)) {
        const QStorageInfo storage(cleaned);
        if (storage.isValid() && QDir::cleanPath(storage.rootPath()) == cleaned && !storage.name().isEmpty())
            return storage.name();
    }
    const QString name = QFileInfo(cleaned).fileName();
    return name.isEmpty() ? path : name;
}

QString rootVolumeName()
{
    const QString label = QStorageInfo::root().name();
    return label.isEmpty() ? QStringLiteral("Computer") : label;
}
