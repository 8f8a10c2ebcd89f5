// Run dates: the next run per weekday, the stored text, and rolling past
// dates forward, around month and year ends and a clock change.
#include "RunDates.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0, const char *zone = "UTC")
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone(zone));
}

std::array<bool, 7> days(std::initializer_list<int> segments)
{
    std::array<bool, 7> selected{};
    for (int segment : segments)
        selected[segment] = true;
    return selected;
}

enum Seg { Mon = 0, Tue, Wed, Thu, Fri, Sat, Sun };

struct EntryCase
{
    const char *name;
    QDateTime now;
    std::array<bool, 7> segments;
    int hour;
    int minute;
    QStringList expected;
};

TEST(RunDates, SavedJobGetsTheNextOccurrenceOfEachSelectedWeekday)
{
    ASSERT_TRUE(QTimeZone("Europe/Berlin").isValid()) << "the clock-change cases need tzdata";
    const EntryCase cases[] = {
        {"Monday and Friday, Monday first",
         at(2026, 12, 9, 10, 0),
         days({Mon, Fri}),
         9,
         0,
         {u"Mon-14-12-2026 09:00"_s, u"Fri-11-12-2026 09:00"_s}},
        {"today, time passed: next week", at(2026, 12, 9, 10, 0), days({Wed}), 9, 0, {u"Wed-16-12-2026 09:00"_s}},
        {"today, time to come: today", at(2026, 12, 9, 10, 0), days({Wed}), 11, 0, {u"Wed-09-12-2026 11:00"_s}},
        {"present minute is already past", at(2026, 12, 9, 10, 0, 30), days({Wed}), 10, 0, {u"Wed-16-12-2026 10:00"_s}},
        {"exactly now counts as not past", at(2026, 12, 9, 10, 0, 0), days({Wed}), 10, 0, {u"Wed-09-12-2026 10:00"_s}},
        {"across the year end", at(2026, 12, 31, 12, 0), days({Fri}), 8, 0, {u"Fri-01-01-2027 08:00"_s}},
        {"Sunday save for Monday", at(2026, 12, 6, 12, 0), days({Mon}), 14, 30, {u"Mon-07-12-2026 14:30"_s}},
        {"fifth week runs into next month", at(2026, 11, 30, 10, 0), days({Tue}), 9, 0, {u"Tue-01-12-2026 09:00"_s}},
        {"fifth-week weekday inside the month",
         at(2026, 11, 29, 10, 0),
         days({Mon}),
         9,
         0,
         {u"Mon-30-11-2026 09:00"_s}},
        {"end of February, common year", at(2026, 2, 28, 12, 0), days({Sun}), 10, 0, {u"Sun-01-03-2026 10:00"_s}},
        {"end of February, leap year", at(2028, 2, 28, 12, 0), days({Tue}), 10, 0, {u"Tue-29-02-2028 10:00"_s}},
        {"midnight", at(2026, 12, 9, 23, 59), days({Thu}), 0, 0, {u"Thu-10-12-2026 00:00"_s}},
        {"no weekday selected", at(2026, 12, 9, 10, 0), days({}), 9, 0, {}},
        {"every day, Monday to Sunday",
         at(2026, 12, 9, 10, 0),
         days({Mon, Tue, Wed, Thu, Fri, Sat, Sun}),
         12,
         0,
         {u"Mon-14-12-2026 12:00"_s, u"Tue-15-12-2026 12:00"_s, u"Wed-09-12-2026 12:00"_s, u"Thu-10-12-2026 12:00"_s,
          u"Fri-11-12-2026 12:00"_s, u"Sat-12-12-2026 12:00"_s, u"Sun-13-12-2026 12:00"_s}},
        // Clocks go forward at 02:00 on 29 March 2026 in Berlin: 02:30 does not
        // exist that night. The text keeps 02:30; the run is due at 03:30.
        {"spring forward, saved the day before",
         at(2026, 3, 28, 12, 0, 0, "Europe/Berlin"),
         days({Sun}),
         2,
         30,
         {u"Sun-29-03-2026 02:30"_s}},
        {"spring forward, after the jump but before 03:30",
         at(2026, 3, 29, 3, 10, 0, "Europe/Berlin"),
         days({Sun}),
         2,
         30,
         {u"Sun-29-03-2026 02:30"_s}},
        {"spring forward, after 03:30",
         at(2026, 3, 29, 3, 45, 0, "Europe/Berlin"),
         days({Sun}),
         2,
         30,
         {u"Sun-05-04-2026 02:30"_s}},
        {"fall back night",
         at(2026, 10, 24, 12, 0, 0, "Europe/Berlin"),
         days({Sun}),
         2,
         30,
         {u"Sun-25-10-2026 02:30"_s}},
    };
    for (const EntryCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scheduledDatesForSegments(c.segments, c.hour, c.minute, c.now, english), c.expected);
    }
}

TEST(RunDates, SkippedTimeIsDueWhenTheClockHasJumpedPastIt)
{
    const QTimeZone berlin("Europe/Berlin");
    const QDateTime moment = runDateMoment({QDate(2026, 3, 29), QTime(2, 30)}, berlin);
    ASSERT_TRUE(moment.isValid());
    EXPECT_EQ(moment.toUTC(), QDateTime(QDate(2026, 3, 29), QTime(1, 30), Qt::UTC));
    // An ordinary time is taken as it is, in summer time.
    EXPECT_EQ(runDateMoment({QDate(2026, 3, 30), QTime(9, 0)}, berlin).toUTC(),
              QDateTime(QDate(2026, 3, 30), QTime(7, 0), Qt::UTC));
}

TEST(RunDates, WeekdayMappingBothWays)
{
    const struct
    {
        int segment;
        int calendarWeekday;
    } table[] = {{0, 2}, {1, 3}, {2, 4}, {3, 5}, {4, 6}, {5, 7}, {6, 1}};
    for (const auto &row : table) {
        SCOPED_TRACE(row.segment);
        EXPECT_EQ(calendarWeekDayForControlWeekDay(row.segment), row.calendarWeekday);
        EXPECT_EQ(controlWeekDayForCalendarWeekDay(row.calendarWeekday), row.segment);
    }
    for (int outOfRange : {-1, 7, 100})
        EXPECT_EQ(calendarWeekDayForControlWeekDay(outOfRange), 2) << outOfRange;
}

TEST(RunDates, TextThatIsNotARunDateDoesNotParse)
{
    const char *bad[] = {"",
                         "garbage",
                         "Mon-07-12-2026",
                         "Mon-07-12-2026 14:30 extra",
                         "Tue-07-12-2026 14:30",
                         "Mon-7-12-2026 14:30",
                         "Mon-07-12-2026 24:00",
                         "Mon-07-12-2026 14:60",
                         "Mon-31-02-2026 14:30",
                         "Mon-07-12-2026  14:30"};
    for (const char *text : bad)
        EXPECT_FALSE(parseRunDate(QString::fromLatin1(text), english)) << text;
    const auto good = parseRunDate(u"Mon-07-12-2026 14:30"_s, english);
    ASSERT_TRUE(good);
    EXPECT_EQ(*good, (RunDate{QDate(2026, 12, 7), QTime(14, 30)}));
    EXPECT_EQ(runDateText(*good, english), u"Mon-07-12-2026 14:30"_s);
}

struct RollCase
{
    const char *name;
    QVariant stored;
    QDateTime now;
    QVariant expected;
};

TEST(RunDates, SetJobsToFutureDatesRollsOnlyPastParsableEntries)
{
    const RollCase cases[] = {
        {"a past Monday moves to the next Monday", QStringList{u"Mon-07-12-2026 14:30"_s}, at(2026, 12, 22, 9, 0),
         QStringList{u"Mon-28-12-2026 14:30"_s}},
        {"three missed weeks move once, across the year end", QStringList{u"Fri-04-12-2026 08:00"_s},
         at(2026, 12, 26, 9, 0), QStringList{u"Fri-01-01-2027 08:00"_s}},
        {"future and unparsable entries stay, order kept",
         QStringList{u"garbage"_s, u"Mon-07-12-2026 14:30"_s, u"Fri-25-12-2026 10:00"_s, u"Tue-07-12-2026 14:30"_s},
         at(2026, 12, 22, 9, 0),
         QStringList{u"garbage"_s, u"Mon-28-12-2026 14:30"_s, u"Fri-25-12-2026 10:00"_s, u"Tue-07-12-2026 14:30"_s}},
        {"later today stays today", QStringList{u"Tue-15-12-2026 14:30"_s}, at(2026, 12, 22, 9, 0),
         QStringList{u"Tue-22-12-2026 14:30"_s}},
        {"skipped 02:30 keeps its time", QStringList{u"Sun-22-03-2026 02:30"_s},
         at(2026, 3, 28, 12, 0, 0, "Europe/Berlin"), QStringList{u"Sun-29-03-2026 02:30"_s}},
        {"entries of other types keep their places", QVariantList{qlonglong(5), u"Mon-07-12-2026 14:30"_s},
         at(2026, 12, 22, 9, 0), QVariantList{qlonglong(5), u"Mon-28-12-2026 14:30"_s}},
        {"not an array: untouched", u"Mon-07-12-2026 14:30"_s, at(2026, 12, 22, 9, 0), u"Mon-07-12-2026 14:30"_s},
        {"empty array", QStringList{}, at(2026, 12, 22, 9, 0), QStringList{}},
        {"months ahead (written while the clock was ahead) comes back to the coming week",
         QStringList{u"Mon-08-03-2027 09:00"_s}, at(2026, 12, 22, 9, 0), QStringList{u"Mon-28-12-2026 09:00"_s}},
        {"eight days ahead comes back to tomorrow", QStringList{u"Wed-30-12-2026 10:00"_s}, at(2026, 12, 22, 9, 0),
         QStringList{u"Wed-23-12-2026 10:00"_s}},
        {"a week ahead, as a run this morning leaves it, stays", QStringList{u"Tue-29-12-2026 08:00"_s},
         at(2026, 12, 22, 9, 0), QStringList{u"Tue-29-12-2026 08:00"_s}},
        {"a week and the hour summer time gives back stays", QStringList{u"Sun-01-11-2026 02:30"_s},
         at(2026, 10, 25, 2, 45, 0, "Europe/Berlin"), QStringList{u"Sun-01-11-2026 02:30"_s}},
    };
    for (const RollCase &c : cases) {
        SCOPED_TRACE(c.name);
        JobRecord record{{JobKey::sourcePath, u"/src"_s}, {JobKey::scheduledDates, c.stored}};
        setJobsToFutureDates(record, c.now, english);
        EXPECT_EQ(record.value(JobKey::scheduledDates), c.expected);
        EXPECT_EQ(record.value(JobKey::sourcePath), u"/src"_s);
    }

    JobRecord withoutDates{{JobKey::sourcePath, u"/src"_s}};
    setJobsToFutureDates(withoutDates, at(2026, 12, 22, 9, 0), english);
    EXPECT_FALSE(withoutDates.contains(JobKey::scheduledDates));
}

} // namespace
