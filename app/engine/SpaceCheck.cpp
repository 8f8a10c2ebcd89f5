#include "SpaceCheck.h"

#include <QFile>
#include <QLocale>

#include <sys/statvfs.h>

namespace SpaceCheck {

std::optional<qint64> freeBytes(const QString &path)
{
    struct statvfs info = {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    // A file system that counts no blocks at all (ramfs, some FUSE and
    // network ones) does not know its free space: it is not zero.
    if (info.f_blocks == 0)
        return std::nullopt;
    // f_bavail, not f_bfree: blocks kept for root are not the copy's to use
    // unless it runs as root, and a refusal must not rest on them.
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

QString approximateSize(qint64 bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit + 1 < int(std::size(units))) {
        value /= 1024;
        ++unit;
    }
    // One decimal below ten, dropped when it is zero ("2 GB", not "2.0 GB").
    QString number = value < 9.95 ? QLocale::c().toString(value, 'f', 1) : QString::number(qRound64(value));
    if (number.endsWith(QStringLiteral(".0")))
        number.chop(2);
    return number + u' ' + QLatin1String(units[unit]);
}

std::optional<QString> refusal(qint64 needed, std::optional<qint64> available, const QString &destinationName)
{
    if (!available || needed <= *available)
        return std::nullopt;
    return QStringLiteral("%1 has %2 free; this backup needs about %3.")
        .arg(destinationName, approximateSize(*available), approximateSize(needed));
}

} // namespace SpaceCheck
