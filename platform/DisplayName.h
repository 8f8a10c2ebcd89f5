#pragma once

// The name the file manager shows for a path: a mounted volume's label for
// the root of a volume that has one, otherwise the last path component
// (a trailing "/" ignored); "/" is the disk the system runs from, named by
// rootVolumeName(); paths without a name come back whole.
// Safe to call from any thread.

#include <QString>

QString displayNameForPath(const QString &path);
// The label of the file system mounted at "/", "Computer" when it has none.
QString rootVolumeName();
