#include "SnapshotFolders.h"

#include <QDir>

namespace SnapshotFolders {

namespace {

QString lastComponent(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

QString snapshotFolderName(const QDateTime &start, const QLocale &locale)
{
    return namePrefix() + locale.toString(start, QStringLiteral("dd-MM-yyyy ddd HH-mm AP"));
}

QString snapshotFolderPath(const QString &destination, const QDateTime &start, const QLocale &locale)
{
    QString base = destination;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + snapshotFolderName(start, locale) + QLatin1Char('/');
}

bool doesLookLikeVLMBackupFolder(const QString &path)
{
    return lastComponent(path).startsWith(namePrefix());
}

std::optional<QDateTime> snapshotDate(const QString &path, const QLocale &locale)
{
    const QString name = lastComponent(path);
    if (!name.startsWith(namePrefix()))
        return std::nullopt;
    QString datePart = name.mid(namePrefix().size());
    if (datePart.size() < 2)
        return std::nullopt;
    // The AM/PM marker is dropped: the hour is already on the 24-hour clock.
    datePart.chop(2);
    while (datePart.endsWith(QLatin1Char(' ')))
        datePart.chop(1);
    const QDateTime date = locale.toDateTime(datePart, QStringLiteral("dd-MM-yyyy ddd HH-mm"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QString> getOldestBackup(const QStringList &folders, const QLocale &locale)
{
    std::optional<QString> oldest;
    QDateTime oldestDate;
    for (const QString &folder : folders) {
        const std::optional<QDateTime> date = snapshotDate(folder, locale);
        if (!date)
            continue;
        if (!oldest || *date <= oldestDate) {
            oldest = folder;
            oldestDate = *date;
        }
    }
    if (oldest)
        qInfo("oldestBackup: %s", qUtf8Printable(*oldest));
    return oldest;
}

std::optional<QString> snapshotToRemove(const QStringList &snapshotFolders, qint64 snapshotsToKeep,
                                        const QString &linkDest, const QLocale &locale)
{
    if (snapshotsToKeep <= 0 || snapshotFolders.size() < snapshotsToKeep)
        return std::nullopt;
    QStringList candidates;
    for (const QString &folder : snapshotFolders) {
        if (linkDest.isEmpty() || !samePath(folder, linkDest))
            candidates << folder;
    }
    return getOldestBackup(candidates, locale);
}

QString linkDestDisplayText(const std::optional<QString> &linkDest)
{
    if (!linkDest || linkDest->isEmpty())
        return QStringLiteral(" ");
    const QStringList components = linkDest->split(QLatin1Char('/'));
    if (components.size() < 2)
        return *linkDest;
    return components.at(components.size() - 2);
}

bool samePath(const QString &a, const QString &b)
{
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

std::optional<QString> newestSnapshot(const QStringList &folders, const QLocale &locale)
{
    std::optional<QString> newest;
    std::optional<QDateTime> newestDate;
    for (const QString &folder : folders) {
        const std::optional<QDateTime> date = snapshotDate(folder, locale);
        if (date && (!newestDate || *date > *newestDate)) {
            newestDate = date;
            newest = QDir::cleanPath(folder) + u'/';
        }
    }
    return newest;
}

} // namespace SnapshotFolders

std::optional<qint64> RemovalProgressCounter::addChunk(const QByteArray &chunk)
{
    m_batch += QString::fromUtf8(chunk).count(QLatin1Char('\n')) + 1;
    if (m_batch < 1000)
        return std::nullopt;
    m_total += m_batch;
    m_batch = 0;
    return m_total;
}
