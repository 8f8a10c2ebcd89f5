// The schedule list's column texts, as the window and `vellumor-cli list`
// show them.
#include "ScheduleListColumns.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(ScheduleListColumnsTest, DaysTypeAndTimeOfARecord)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QStringList week{u"Mon-07-12-2026 14:30"_s, u"Tue-08-12-2026 14:30"_s, u"Wed-09-12-2026 14:30"_s,
                           u"Thu-10-12-2026 14:30"_s, u"Fri-11-12-2026 14:30"_s, u"Sat-12-12-2026 14:30"_s,
                           u"Sun-13-12-2026 14:30"_s};
    struct Case
    {
        const char *name;
        QVariant dates;
        bool hardlinks;
        QString days;
        QString type;
        std::optional<QString> time;
    };
    const Case cases[] = {
        {"three weekdays, afternoon",
         QStringList{u"Mon-07-12-2026 14:30"_s, u"Wed-09-12-2026 14:30"_s, u"Fri-11-12-2026 14:30"_s}, true,
         u"Mon Wed Fri "_s, u"Snapshot"_s, u"02:30 PM"_s},
        {"morning with a leading zero", QStringList{u"Tue-08-12-2026 09:05"_s}, false, u"Tue "_s, u"Sync"_s,
         u"09:05 AM"_s},
        {"every day", week, true, u"Every Day"_s, u"Snapshot"_s, u"02:30 PM"_s},
        {"no dates: no days and no time", QStringList(), false, QString(), u"Sync"_s, std::nullopt},
        {"no key at all", QVariant(), false, QString(), u"Sync"_s, std::nullopt},
        {"a first entry that does not parse", QStringList{u"someday"_s}, false, u"som "_s, u"Sync"_s, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        JobRecord record{{u"sourcePath"_s, u"/home/ada/Photos"_s},
                         {u"destPath"_s, u"/media/ada/Archive/"_s},
                         {u"hardlinks"_s, c.hardlinks}};
        if (c.dates.isValid())
            record.insert(u"scheduledDates"_s, c.dates);
        EXPECT_EQ(ScheduleListColumns::sourceText(record), u"Photos"_s);
        EXPECT_EQ(ScheduleListColumns::destinationText(record), u"Archive"_s);
        EXPECT_EQ(ScheduleListColumns::daysText(record), c.days);
        EXPECT_EQ(ScheduleListColumns::typeText(record), c.type);
        EXPECT_EQ(ScheduleListColumns::timeText(record, english), c.time);
    }
}

} // namespace
