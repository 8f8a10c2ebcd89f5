#include "JobRecord.h"

#include <QFileInfo>
#include <QUrl>

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

} // namespace

JobRecord BackupParameters::getParametersDictionary() const
{
    JobRecord record;
    record.insert(JobKey::sourcePath, sourcePath);
    record.insert(JobKey::destPath, destPath);
    // A record without a number could not be written at all, and would block
    // every later save of the schedule; store what readers assume instead.
    record.insert(JobKey::snapshotsToKeep,
                  isNumber(snapshotsToKeep) ? snapshotsToKeep : QVariant(qlonglong(DefaultSnapshotsToKeep)));
    record.insert(JobKey::scheduledDates, scheduledDates);
    record.insert(JobKey::excludedFiles, excludedFiles);
    record.insert(JobKey::hardlinks, hardlinks);
    if (linkDest && !linkDest->isEmpty())
        record.insert(JobKey::linkDest, *linkDest);
    if (thinning)
        record.insert(JobKey::thinning, thinning->toText());
    return record;
}

namespace JobRecords {

namespace {

QString stringValue(const JobRecord &record, QLatin1String key)
{
    const QVariant value = record.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QStringList stringListValue(const JobRecord &record, QLatin1String key)
{
    const QVariant value = record.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    QStringList strings;
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList items = value.toList();
        for (const QVariant &item : items) {
            if (item.typeId() == QMetaType::QString)
                strings.append(item.toString());
        }
    }
    return strings;
}

} // namespace

QString sourcePath(const JobRecord &record)
{
    return stringValue(record, JobKey::sourcePath);
}
QString destPath(const JobRecord &record)
{
    return stringValue(record, JobKey::destPath);
}
QString linkDest(const JobRecord &record)
{
    return stringValue(record, JobKey::linkDest);
}
QStringList scheduledDates(const JobRecord &record)
{
    return stringListValue(record, JobKey::scheduledDates);
}
QStringList excludedFiles(const JobRecord &record)
{
    return stringListValue(record, JobKey::excludedFiles);
}

bool hardlinks(const JobRecord &record)
{
    const QVariant value = record.value(JobKey::hardlinks);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return isNumber(value) && value.toDouble() != 0;
}

std::optional<ThinningPolicy> thinning(const JobRecord &record)
{
    return ThinningPolicy::fromText(stringValue(record, JobKey::thinning));
}

QVariant snapshotsToKeep(const JobRecord &record)
{
    const QVariant value = record.value(JobKey::snapshotsToKeep);
    return isNumber(value) ? value : QVariant(qlonglong(DefaultSnapshotsToKeep));
}

QString fileUrlForPath(const QString &path)
{
    QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    if (!url.endsWith(u'/') && QFileInfo(path).isDir())
        url.append(u'/');
    return url;
}

bool matchesPair(const JobRecord &record, const QString &source, const QString &dest)
{
    if (source.isEmpty() || dest.isEmpty())
        return false;
    const QString recordSource = sourcePath(record);
    const QString recordDest = destPath(record);
    if (recordSource.isEmpty() || recordDest.isEmpty())
        return false;
    return fileUrlForPath(recordSource) == fileUrlForPath(source) && fileUrlForPath(recordDest) == fileUrlForPath(dest);
}

} // namespace JobRecords
