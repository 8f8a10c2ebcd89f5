#include "SnapshotFolders.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace SnapshotFolders {

namespace {

const QString workingSuffix = QStringLiteral(".incomplete");
const QString retiringSuffix = QStringLiteral(".removing");

// A number written in any script's decimal digits.
int digitsValue(QStringView digits)
{
    int value = 0;
    for (QChar c : digits)
        value = value * 10 + c.digitValue();
    return value;
}

struct DatedFolder
{
    QString folder;
    QDateTime date;
};

// The folders whose names read as dates, oldest first; equal dates keep the
// order they were met in.
QList<DatedFolder> datedOldestFirst(const QStringList &folders)
{
    QList<DatedFolder> dated;
    for (const QString &folder : folders) {
        if (const std::optional<QDateTime> date = snapshotDate(folder))
            dated.append({folder, *date});
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const DatedFolder &a, const DatedFolder &b) { return a.date < b.date; });
    return dated;
}

bool isHiddenKind(const QString &path, const QString &suffix)
{
    const QString name = folderName(path);
    return name.startsWith(QLatin1Char('.') + namePrefix()) && name.endsWith(suffix)
        && name.size() > 1 + namePrefix().size() + suffix.size();
}

} // namespace

QString folderName(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

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
    return folderName(path).startsWith(namePrefix());
}

std::optional<QDateTime> snapshotDate(const QString &path)
{
    const QString name = folderName(path);
    if (!name.startsWith(namePrefix()))
        return std::nullopt;
    // Day, month and year, then the first "HH-mm" standing as a word of its
    // own; the words between and after are the locale's and are skipped.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d\\d)-(\\d\\d)-(\\d{4})(?:\\s.*?)??\\s(\\d\\d)-(\\d\\d)(?:\\s|$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = pattern.match(name.mid(namePrefix().size()));
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(digitsValue(match.capturedView(3)), digitsValue(match.capturedView(2)),
                     digitsValue(match.capturedView(1)));
    const QTime time(digitsValue(match.capturedView(4)), digitsValue(match.capturedView(5)));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

std::optional<QString> getOldestBackup(const QStringList &folders)
{
    // Among equal oldest dates, the one met last.
    const QList<DatedFolder> dated = datedOldestFirst(folders);
    if (dated.isEmpty())
        return std::nullopt;
    qsizetype chosen = 0;
    while (chosen + 1 < dated.size() && dated.at(chosen + 1).date == dated.constFirst().date)
        ++chosen;
    qInfo("oldestBackup: %s", qUtf8Printable(dated.at(chosen).folder));
    return dated.at(chosen).folder;
}

std::optional<QString> newestBackup(const QStringList &folders)
{
    const QList<DatedFolder> dated = datedOldestFirst(folders);
    if (dated.isEmpty())
        return std::nullopt;
    return dated.constLast().folder;
}

QStringList snapshotsToRetire(const QStringList &jobSnapshots, qint64 snapshotsToKeep, const QStringList &keep)
{
    const QList<DatedFolder> dated = datedOldestFirst(jobSnapshots);
    qint64 remaining = dated.size();
    QStringList retire;
    if (snapshotsToKeep <= 0)
        return retire;
    for (const DatedFolder &candidate : dated) {
        if (remaining <= snapshotsToKeep)
            break;
        const bool kept = std::any_of(keep.cbegin(), keep.cend(), [&](const QString &path) {
            return !path.isEmpty() && samePath(path, candidate.folder);
        });
        if (kept)
            continue;
        retire << candidate.folder;
        --remaining;
    }
    return retire;
}

QString workingFolderName(const QDateTime &start, const QLocale &locale)
{
    return QLatin1Char('.') + snapshotFolderName(start, locale) + workingSuffix;
}

bool isWorkingFolderName(const QString &path)
{
    return isHiddenKind(path, workingSuffix);
}

QString retiringFolderName(const QString &snapshotName)
{
    return QLatin1Char('.') + snapshotName + retiringSuffix;
}

bool isRetiringFolderName(const QString &path)
{
    return isHiddenKind(path, retiringSuffix);
}

QString retiredSnapshotName(const QString &path)
{
    const QString name = folderName(path);
    if (!isRetiringFolderName(name))
        return name;
    return name.mid(1, name.size() - 1 - retiringSuffix.size());
}

QString ownerFolderName(const QString &firstSourcePassed)
{
    if (firstSourcePassed.isEmpty() || firstSourcePassed.endsWith(QLatin1Char('/')))
        return QString();
    return folderName(firstSourcePassed);
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

bool runEndedWell(bool summarySeen, std::optional<int> exitStatus)
{
    return summarySeen && exitStatus && (*exitStatus == 0 || *exitStatus == 24);
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

void RemovalErrorCollector::addChunk(const QByteArray &chunk)
{
    if (!m_firstReason.isEmpty())
        return;
    m_partial += chunk;
    qsizetype start = 0;
    for (qsizetype end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        takeLine(m_partial.mid(start, end - start));
        start = end + 1;
    }
    m_partial = m_partial.mid(start);
    // Only a complaint matters; the rest of a long "removed ..." line need
    // not be kept.
    if (!m_partial.contains("dropcount: ") && m_partial.size() > 4096)
        m_partial = m_partial.right(16);
}

void RemovalErrorCollector::takeLine(const QByteArray &line)
{
    // Errors and the list of removed items arrive on two streams, so a
    // complaint may follow part of an unfinished "removed ..." line.
    static const QByteArray prefix("dropcount: ");
    const qsizetype at = line.indexOf(prefix);
    if (!m_firstReason.isEmpty() || at < 0)
        return;
    const QByteArray complaint = line.mid(at + prefix.size());
    // "cannot remove 'PATH': REASON" gives REASON; other complaints
    // ("skipping 'PATH', since it is on a different file system") are the
    // reason as they stand.
    const qsizetype separator = complaint.lastIndexOf("': ");
    const bool cannotRemove = complaint.startsWith("cannot remove '") && separator >= 0;
    m_firstReason = QString::fromUtf8(cannotRemove ? complaint.mid(separator + 3) : complaint).trimmed();
}
