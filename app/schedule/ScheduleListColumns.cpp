#include "ScheduleListColumns.h"

#include "DisplayName.h"
#include "RunDates.h"

namespace ScheduleListColumns {

QString sourceText(const JobRecord &record)
{
    return displayNameForPath(JobRecords::sourcePath(record));
}

QString destinationText(const JobRecord &record)
{
    return displayNameForPath(JobRecords::destPath(record));
}

QString daysText(const JobRecord &record)
{
    const QStringList dates = JobRecords::scheduledDates(record);
    if (dates.size() == 7)
        return QStringLiteral("Every Day");
    QString text;
    for (const QString &date : dates)
        text += date.left(3) + u' ';
    return text;
}

QString typeText(const JobRecord &record)
{
    return JobRecords::hardlinks(record) ? QStringLiteral("Snapshot") : QStringLiteral("Sync");
}

std::optional<QString> timeText(const JobRecord &record, const QLocale &locale)
{
    const QStringList dates = JobRecords::scheduledDates(record);
    if (dates.isEmpty())
        return std::nullopt;
    const std::optional<RunDate> first = parseRunDate(dates.constFirst(), locale);
    if (!first)
        return std::nullopt;
    return locale.toString(first->time, QStringLiteral("hh:mm AP"));
}

} // namespace ScheduleListColumns
