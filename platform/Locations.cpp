#include "Locations.h"

#include <QDir>
#include <QStandardPaths>

namespace Locations {

namespace {
QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}
} // namespace

QString userDataFolder()
{
    return withoutTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString userConfigFolder()
{
    return withoutTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QStringList removableMediaRoots()
{
    return {QStringLiteral("/media"), QStringLiteral("/run/media"), QStringLiteral("/mnt")};
}

} // namespace Locations
