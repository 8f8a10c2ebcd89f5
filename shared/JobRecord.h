#pragma once

// The job record: one scheduled job as a string-keyed map whose values keep
// their property-list types (QString, bool, qlonglong or double, QStringList).
// It is what the schedule file holds, one per (sourcePath, destPath) pair.
// Readers never trust a record: the accessors below read what is there and
// fall back to the documented defaults for missing or wrongly typed keys.

#include "ThinningPolicy.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>

using JobRecord = QVariantMap;

namespace JobKey {
inline constexpr QLatin1String sourcePath("sourcePath");
inline constexpr QLatin1String destPath("destPath");
inline constexpr QLatin1String snapshotsToKeep("snapshotsToKeep");
inline constexpr QLatin1String scheduledDates("scheduledDates");
inline constexpr QLatin1String excludedFiles("excludedFiles");
inline constexpr QLatin1String hardlinks("hardlinks");
inline constexpr QLatin1String linkDest("linkDest");
inline constexpr QLatin1String thinning("thinning");
} // namespace JobKey

// A missing "snapshotsToKeep" reads as this many.
inline constexpr int DefaultSnapshotsToKeep = 99;

// One job gathered before it becomes a record. snapshotsToKeep is an integer
// (qlonglong) or, when a fraction was typed, a real (double).
class BackupParameters
{
public:
    QString sourcePath;
    QString destPath;
    bool hardlinks = false;
    QVariant snapshotsToKeep;
    std::optional<QString> linkDest;
    QStringList scheduledDates;
    QStringList excludedFiles;
    // Thinning instead of the newest snapshotsToKeep; stored only when set.
    std::optional<ThinningPolicy> thinning;

    // A new record holding copies of these values. "linkDest" is present only
    // when linkDest is set (never as an empty string); a snapshotsToKeep that
    // is not a number is stored as 99, so the record can always be written.
    JobRecord getParametersDictionary() const;
};

namespace JobRecords {

QString sourcePath(const JobRecord &record);
QString destPath(const JobRecord &record);
bool hardlinks(const JobRecord &record);
// The stored number (integer or real); 99 when missing or not a number.
QVariant snapshotsToKeep(const JobRecord &record);
// Empty when missing or not an array; non-string entries are skipped.
QStringList scheduledDates(const JobRecord &record);
QStringList excludedFiles(const JobRecord &record);
// Empty when there is no link destination.
QString linkDest(const JobRecord &record);
// None when the job keeps its newest snapshots (no key, or not a policy).
std::optional<ThinningPolicy> thinning(const JobRecord &record);

// The file-URL form of a path: an existing folder gains a trailing "/", so
// "/a/b" and "/a/b/" name the same folder while it exists.
QString fileUrlForPath(const QString &path);

// Whether the record belongs to the (sourcePath, destPath) pair, comparing
// file URLs. Never true when either given path is empty.
bool matchesPair(const JobRecord &record, const QString &sourcePath, const QString &destPath);

} // namespace JobRecords
