// The agent's quick reading of run dates must answer exactly as the general
// parser and time-zone rule do, for the text the application writes and for
// everything else.
#include "RunDateReading.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(RunDateReader, AgreesWithTheGeneralParser)
{
    const QStringList texts{
        u"Mon-07-12-2026 14:30"_s,    u"Sun-13-12-2026 00:00"_s,  u"Thu-31-12-2026 23:59"_s,
        u"Tue-07-12-2026 14:30"_s, // weekday that does not fit the date
        u"mon-07-12-2026 14:30"_s, // lower case
        u"Mon-31-02-2026 14:30"_s, // no such day
        u"Mon-07-12-2026 24:00"_s,    u"Mon-07-12-2026 14:60"_s,  u"Mon-07-13-2026 14:30"_s,
        u"Mon-7-12-2026 14:30"_s,     u"Mon-07-12-2026 4:30"_s,   u" Mon-07-12-2026 14:30"_s,
        u"Mon-07-12-2026 14:30 "_s,   u"Mon 07-12-2026 14:30"_s,  u"-07-12-2026 14:30"_s,
        u"Mon-07-12-2026T14:30"_s,    u"Mon-０7-12-2026 14:30"_s, u"Monday-07-12-2026 14:30"_s,
        u"Mo.-07-12-2026 14:30"_s,    u"Mo-07-12-2026 14:30"_s,   QString(),
        u"Mon-07-12-2026 14:30:00"_s,
    };
    const QLocale locales[]
        = {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German), QLocale(QLocale::French)};
    for (const QLocale &locale : locales) {
        const RunDateReader reader(locale);
        for (const QString &text : texts) {
            SCOPED_TRACE(QString(locale.name() + u' ' + text).toStdString());
            EXPECT_EQ(reader.read(text), parseRunDate(text, locale));
        }
        // What the application writes in this locale reads back.
        const RunDate written{QDate(2026, 12, 7), QTime(14, 30)};
        EXPECT_EQ(reader.read(runDateText(written, locale)), written);
    }
}

TEST(RunDateMoments, AgreeWithTheGeneralRuleAroundClockChanges)
{
    const QTimeZone zones[] = {QTimeZone("Europe/Berlin"), QTimeZone("America/New_York"),
                               QTimeZone("Australia/Lord_Howe"), QTimeZone("UTC")};
    const RunDate runs[] = {
        {QDate(2026, 3, 29), QTime(2, 30)},  {QDate(2026, 3, 29), QTime(1, 59)},   {QDate(2026, 3, 29), QTime(3, 0)},
        {QDate(2026, 3, 28), QTime(23, 30)}, {QDate(2026, 3, 30), QTime(0, 30)},   {QDate(2026, 10, 25), QTime(2, 30)},
        {QDate(2026, 10, 25), QTime(1, 30)}, {QDate(2026, 3, 8), QTime(2, 30)},    {QDate(2026, 11, 1), QTime(1, 30)},
        {QDate(2026, 4, 5), QTime(1, 45)},   {QDate(2026, 10, 4), QTime(2, 15)},   {QDate(2026, 12, 7), QTime(14, 30)},
        {QDate(2026, 7, 1), QTime(0, 0)},    {QDate(2026, 12, 31), QTime(23, 59)},
    };
    for (const QTimeZone &zone : zones) {
        ASSERT_TRUE(zone.isValid());
        RunDateMoments moments(zone);
        for (int pass = 0; pass < 2; ++pass) { // the second pass reads remembered offsets
            for (const RunDate &run : runs) {
                SCOPED_TRACE(QString(QString::fromLatin1(zone.id()) + u' ' + runDateText(run)).toStdString());
                EXPECT_EQ(moments.moment(run).toMSecsSinceEpoch(), runDateMoment(run, zone).toMSecsSinceEpoch());
            }
        }
    }
}

} // namespace
