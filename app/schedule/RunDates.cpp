#include "RunDates.h"

namespace {

const QString runDatePattern = QStringLiteral("ddd-dd-MM-yyyy HH:mm");
const QString datePattern = QStringLiteral("ddd-dd-MM-yyyy");
const QString timePattern = QStringLiteral("HH:mm");

// Qt numbers weekdays 1 Monday ... 7 Sunday.
int calendarWeekdayOf(const QDate &date)
{
    return date.dayOfWeek() % 7 + 1;
}

// The given calendar weekday in the given seven-day block of the month (days
// 1-7 are block 1, 8-14 block 2 ...). A block the month does not reach runs
// on into the next month.
QDate weekdayInBlock(int year, int month, int block, int calendarWeekday)
{
    const QDate first(year, month, 1);
    const int firstOccurrence = 1 + (calendarWeekday - calendarWeekdayOf(first) + 7) % 7;
    return first.addDays(firstOccurrence - 1 + 7 * (block - 1));
}

} // namespace

int calendarWeekDayForControlWeekDay(int segment)
{
    if (segment < 0 || segment > 6)
        return 2;
    return segment == 6 ? 1 : segment + 2;
}

int controlWeekDayForCalendarWeekDay(int calendarWeekday)
{
    return calendarWeekday == 1 ? 6 : calendarWeekday - 2;
}

QString runDateText(const RunDate &runDate, const QLocale &locale)
{
    // Formatted as UTC so that only the wall-clock fields matter: a time that
    // a clock change skips still reads as the time the user chose.
    return locale.toString(QDateTime(runDate.date, runDate.time, Qt::UTC), runDatePattern);
}

std::optional<RunDate> parseRunDate(const QString &text, const QLocale &locale)
{
    // Date and time are parsed apart: Qt rejects a whole local date-time that
    // falls into a clock change's gap, but the stored text is still valid.
    const qsizetype space = text.indexOf(u' ');
    if (space < 0 || text.indexOf(u' ', space + 1) >= 0)
        return std::nullopt;
    const QDate date = locale.toDate(text.left(space), datePattern);
    const QTime time = locale.toTime(text.mid(space + 1), timePattern);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return RunDate{date, time};
}

QDateTime runDateMoment(const RunDate &runDate, const QTimeZone &zone)
{
    const QDateTime moment(runDate.date, runDate.time, zone);
    if (moment.isValid())
        return moment;
    // Inside a gap: read the wall time with the offset in force before the
    // jump, which lands as far after the jump as the time was after its start.
    const QDateTime asUtc(runDate.date, runDate.time, Qt::UTC);
    const int offsetBefore = zone.offsetFromUtc(asUtc.addDays(-1));
    return asUtc.addSecs(-offsetBefore).toTimeZone(zone);
}

RunDate nextRunDate(const QDateTime &now, int calendarWeekday, int hour, int minute)
{
    const QTimeZone zone = now.timeZone();
    const QDate today = now.toTimeZone(zone).date();
    const int block = (today.day() - 1) / 7 + 1;
    RunDate run{weekdayInBlock(today.year(), today.month(), block, calendarWeekday), QTime(hour, minute)};
    // The block's day lies at most six days either side of today; one week
    // carries a past one to the next occurrence.
    if (runDateMoment(run, zone) < now)
        run.date = run.date.addDays(7);
    return run;
}

QDate latestRegularRunDay(const QDateTime &now)
{
    // Whole days of the wall clock, so a change of summer time never makes a
    // regular date look far.
    return now.date().addDays(7);
}

bool runDateIsDue(const RunDate &runDate, const QDateTime &now)
{
    return runDate.date > latestRegularRunDay(now) || runDateMoment(runDate, now.timeZone()) < now;
}

QStringList scheduledDatesForSegments(const std::array<bool, 7> &selectedSegments, int hour, int minute,
                                      const QDateTime &now, const QLocale &locale)
{
    QStringList dates;
    for (int segment = 0; segment < 7; ++segment) {
        if (selectedSegments[segment])
            dates.append(
                runDateText(nextRunDate(now, calendarWeekDayForControlWeekDay(segment), hour, minute), locale));
    }
    return dates;
}

void setJobsToFutureDates(JobRecord &record, const QDateTime &now, const QLocale &locale)
{
    const QVariant stored = record.value(JobKey::scheduledDates);
    if (stored.typeId() != QMetaType::QStringList && stored.typeId() != QMetaType::QVariantList)
        return;
    // Works on the stored list itself so that entries of another type keep
    // their places; only past, parsable strings are replaced.
    QVariantList entries = stored.toList();
    bool changed = false;
    for (QVariant &entry : entries) {
        if (entry.typeId() != QMetaType::QString)
            continue;
        const std::optional<RunDate> runDate = parseRunDate(entry.toString(), locale);
        if (!runDate || !runDateIsDue(*runDate, now))
            continue;
        const RunDate next
            = nextRunDate(now, calendarWeekdayOf(runDate->date), runDate->time.hour(), runDate->time.minute());
        entry = runDateText(next, locale);
        changed = true;
    }
    if (!changed)
        return;
    if (stored.typeId() == QMetaType::QStringList) {
        QStringList strings;
        for (const QVariant &entry : std::as_const(entries))
            strings.append(entry.toString());
        record.insert(JobKey::scheduledDates, strings);
    } else {
        record.insert(JobKey::scheduledDates, entries);
    }
}
