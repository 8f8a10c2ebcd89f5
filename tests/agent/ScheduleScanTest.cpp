// The agent's choice of what is due and when to wake up next, as a pure
// function of the schedule and the present moment.
#include "ScheduleScan.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

JobRecord job(const QString &source, const QStringList &dates)
{
    return JobRecord{{u"sourcePath"_s, source}, {u"destPath"_s, u"/media/Backup"_s}, {u"scheduledDates"_s, dates}};
}

// Sunday 6 December 2026, 12:00 UTC.
const QDateTime sunday(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

struct ScanCase
{
    const char *name;
    QList<JobRecord> records;
    std::optional<QString> wakeUpText; // the entry the timer is set for
    std::optional<qsizetype> wakeUpRecord;
    QStringList dueTexts;
};

TEST(ScheduleScan, ChoosesTheEarliestFutureEntryAndListsPastOnes)
{
    const QString monday9 = u"Mon-07-12-2026 09:00"_s;
    const QString tuesday8 = u"Tue-08-12-2026 08:00"_s;
    const QString saturday = u"Sat-05-12-2026 10:00"_s;
    const QString sundayMorning = u"Sun-06-12-2026 11:59"_s;
    const QString sundayNoon = u"Sun-06-12-2026 12:00"_s;
    const ScanCase cases[] = {
        {"Monday 09:00 before Tuesday 08:00", {job(u"/a"_s, {monday9}), job(u"/b"_s, {tuesday8})}, monday9, 0, {}},
        {"the same, records the other way round", {job(u"/b"_s, {tuesday8}), job(u"/a"_s, {monday9})}, monday9, 1, {}},
        {"the same, entries of one record reversed", {job(u"/a"_s, {tuesday8, monday9})}, monday9, 0, {}},
        {"only past entries arm nothing",
         {job(u"/a"_s, {saturday}), job(u"/b"_s, {sundayMorning})},
         std::nullopt,
         std::nullopt,
         {saturday, sundayMorning}},
        {"a tie keeps the first entry met",
         {job(u"/a"_s, {tuesday8}), job(u"/b"_s, {monday9}), job(u"/c"_s, {monday9})},
         monday9,
         1,
         {}},
        {"the present minute is not yet due", {job(u"/a"_s, {sundayNoon, monday9})}, sundayNoon, 0, {}},
        {"two missed dates of one job are two due entries",
         {job(u"/a"_s, {saturday, monday9, sundayMorning})},
         monday9,
         0,
         {saturday, sundayMorning}},
        {"an empty schedule", {}, std::nullopt, std::nullopt, {}},
        {"a job without dates", {job(u"/a"_s, {})}, std::nullopt, std::nullopt, {}},
        {"a date months ahead, left by a clock that was ahead, is due now",
         {job(u"/a"_s, {u"Mon-08-03-2027 09:00"_s, monday9})},
         monday9,
         0,
         {u"Mon-08-03-2027 09:00"_s}},
        {"a week ahead is the wake-up, not due",
         {job(u"/a"_s, {u"Sun-13-12-2026 11:00"_s})},
         u"Sun-13-12-2026 11:00"_s,
         0,
         {}},
    };
    for (const ScanCase &row : cases) {
        SCOPED_TRACE(row.name);
        const ScheduleScan scan = scanSchedule(row.records, sunday, QLocale(QLocale::English));
        ASSERT_EQ(scan.earliestFuture.has_value(), row.wakeUpText.has_value());
        if (row.wakeUpText) {
            EXPECT_EQ(scan.earliestFuture->text, *row.wakeUpText);
            EXPECT_EQ(scan.earliestFuture->record, *row.wakeUpRecord);
        }
        QStringList dueTexts;
        for (const ScheduledRun &run : scan.due)
            dueTexts.append(run.text);
        EXPECT_EQ(dueTexts, row.dueTexts);
    }
}

TEST(ScheduleScan, TheWakeUpMomentIsWallClockTimeInTheZoneOfNow)
{
    // Monday 7 December 09:00 in Berlin is 08:00 UTC.
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const ScheduleScan scan = scanSchedule({job(u"/a"_s, {u"Mon-07-12-2026 09:00"_s})}, sunday.toTimeZone(berlin),
                                           QLocale(QLocale::English));
    ASSERT_TRUE(scan.earliestFuture);
    EXPECT_EQ(scan.earliestFuture->moment.toUTC(), QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));
}

TEST(ScheduleScan, EntriesThatAreNotRunDatesAreNeitherDueNorAWakeUp)
{
    const QList<JobRecord> records{
        job(u"/a"_s, {u"garbage"_s, u"Tue-07-12-2026 09:00"_s /* 7 December is a Monday */, u"Mon-07-12-2026"_s}),
        JobRecord{{u"sourcePath"_s, u"/b"_s}, {u"scheduledDates"_s, u"Mon-07-12-2026 09:00"_s}}, // not an array
    };
    const ScheduleScan scan = scanSchedule(records, sunday, QLocale(QLocale::English));
    EXPECT_FALSE(scan.earliestFuture);
    EXPECT_TRUE(scan.due.isEmpty());
    EXPECT_EQ(scan.unparsable.size(), 3);
}

} // namespace
