#pragma once

// Whether what a run is about to copy fits on its destination: the dry run's
// bytes to transfer against the destination's free space, before the copy
// starts, so a copy that cannot fit does not fail late.
//
// What callers may rely on: an unknown free space never refuses a run; the
// texts round sizes the way people say them ("38 MB", "1.5 GB", powers of
// 1024).

#include <QString>

#include <optional>

namespace SpaceCheck {

// The bytes an unprivileged writer may still use on the file system of
// `path` (statvfs), or nothing when it cannot be asked or the file system
// keeps no count of its blocks.
std::optional<qint64> freeBytes(const QString &path);

// "38 MB", "1.5 GB", "900 bytes": two significant figures below 10 units,
// whole units above.
QString approximateSize(qint64 bytes);

// "Backup Disk has 38 MB free; this backup needs about 1.5 GB." when
// `needed` exceeds `available`; nothing when it fits or the space is unknown.
std::optional<QString> refusal(qint64 needed, std::optional<qint64> available, const QString &destinationName);

} // namespace SpaceCheck
