#pragma once

// Where per-user data and configuration live on this desktop (XDG base
// directories, through QStandardPaths). Callers may rely on absolute paths
// without a trailing "/"; the folders are not created here.

#include <QString>
#include <QStringList>

namespace Locations {

// $XDG_DATA_HOME, normally ~/.local/share.
QString userDataFolder();

// $XDG_CONFIG_HOME, normally ~/.config.
QString userConfigFolder();

// The roots under which removable media are mounted: "/media" (Debian's
// udisks with a shared mount dir), "/run/media" (udisks default) and "/mnt".
QStringList removableMediaRoots();

} // namespace Locations
