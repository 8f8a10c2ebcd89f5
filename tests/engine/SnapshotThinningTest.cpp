// Thinning a job's snapshots: which ones the rule keeps, with the clock and
// time zone set by each case.
#include "SnapshotFolders.h"
#include "SnapshotThinning.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

QDateTime wall(int year, int month, int day, int hour = 12)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0));
}

QString folderOf(const QDateTime &date)
{
    return u"/backup/"_s + SnapshotFolders::snapshotFolderName(date, english);
}

QStringList foldersOf(const QList<QDateTime> &dates)
{
    QStringList folders;
    for (const QDateTime &date : dates)
        folders << folderOf(date);
    return folders;
}

QList<QDateTime> dailyFrom(const QDate &first, int count)
{
    QList<QDateTime> dates;
    for (int day = 0; day < count; ++day)
        dates << QDateTime(first.addDays(day), QTime(12, 0));
    return dates;
}

} // namespace

TEST(SnapshotThinning, KeepsEachBucketsOldestByTheLocalCalendar)
{
    const QTimeZone berlin("Europe/Berlin");
    const QTimeZone utc = QTimeZone::utc();
    QList<QDateTime> monthly;
    for (int month = 1; month <= 12; ++month)
        monthly << wall(2026, month, 1);
    monthly << wall(2027, 1, 1);
    const QList<QDateTime> november = dailyFrom(QDate(2026, 11, 1), 30);
    const struct
    {
        const char *name;
        QTimeZone zone;
        QDateTime now; // wall-clock time in the zone
        ThinningPolicy policy;
        QList<QDateTime> snapshots;
        QList<QDateTime> removed;
        QList<QDateTime> alwaysKept;
    } cases[] = {
        // Clocks went forward at 02:00 on the 29th: 12:00 on the 28th is
        // 23 hours old, 11:00 is 24.
        {"young by real time across a change to summer time",
         berlin,
         wall(2026, 3, 29, 12),
         {24, 31, 8, 12},
         {wall(2026, 3, 28, 10), wall(2026, 3, 28, 11), wall(2026, 3, 28, 12), wall(2026, 3, 29, 9)},
         {wall(2026, 3, 28, 11)},
         {}},
        // 28 December 2026 to 3 January 2027 is ISO week 53 of 2026.
        {"ISO week 53 spans the new year",
         utc,
         wall(2027, 1, 10),
         {1, 0, 2, 0},
         {wall(2026, 1, 5), wall(2026, 12, 29), wall(2027, 1, 1), wall(2027, 1, 2), wall(2027, 1, 6)},
         {wall(2027, 1, 2)},
         {}},
        {"monthlies survive the new year", utc, wall(2027, 1, 15), {1, 0, 0, 12}, monthly, {}, {}},
        {"months beyond the count go, the year's first stays",
         utc,
         wall(2027, 1, 15),
         {1, 0, 0, 3},
         monthly,
         monthly.mid(1, 9),
         {}},
        {"empty months do not count",
         utc,
         wall(2026, 6, 30),
         {1, 0, 0, 2},
         {wall(2026, 1, 10), wall(2026, 2, 10), wall(2026, 6, 2), wall(2026, 6, 5), wall(2026, 6, 9)},
         {wall(2026, 6, 5)},
         {}},
        // A week offline: the last seven days that hold snapshots stay.
        {"an offline week removes no history",
         utc,
         wall(2026, 12, 9),
         {24, 7, 0, 0},
         november,
         november.mid(1, 22),
         {}},
        {"the link destination and the newest always stay",
         utc,
         wall(2026, 12, 9),
         {24, 7, 0, 0},
         november,
         november.mid(2, 21),
         {november.at(1)}},
        {"nothing younger than an hour is thinned",
         utc,
         wall(2026, 12, 9, 12).addSecs(30 * 60),
         {0, 0, 0, 0},
         {wall(2026, 12, 9, 10), wall(2026, 12, 9, 11), wall(2026, 12, 9, 12).addSecs(5 * 60),
          wall(2026, 12, 9, 12).addSecs(10 * 60)},
         {wall(2026, 12, 9, 11)},
         {}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QDateTime now(testCase.now.date(), testCase.now.time(), testCase.zone);
        const QStringList always = foldersOf(testCase.alwaysKept);
        const QStringList retire = SnapshotThinning::snapshotsToRetire(foldersOf(testCase.snapshots), testCase.policy,
                                                                       now, testCase.zone, always);
        EXPECT_EQ(retire.join(u'\n').toStdString(), foldersOf(testCase.removed).join(u'\n').toStdString());
        // A second pass over what is left removes nothing.
        QStringList left = foldersOf(testCase.snapshots);
        for (const QString &folder : retire)
            left.removeAll(folder);
        EXPECT_TRUE(SnapshotThinning::snapshotsToRetire(left, testCase.policy, now, testCase.zone, always).isEmpty());
        // A day later, with a newer snapshot, nothing removed now would have
        // been kept: a removal never takes what the rule wants later.
        const QDateTime nextDay = testCase.now.addDays(1);
        const QStringList later = SnapshotThinning::snapshotsToRetire(
            foldersOf(testCase.snapshots) << folderOf(nextDay), testCase.policy,
            QDateTime(nextDay.date(), nextDay.time(), testCase.zone), testCase.zone, always);
        for (const QString &folder : retire)
            EXPECT_TRUE(later.contains(folder)) << folder.toStdString();
    }
}

TEST(SnapshotThinning, APolicyReadsOnlyAsFourCounts)
{
    EXPECT_EQ(ThinningPolicy::fromText(u"24,31,8,12"_s), ThinningPolicy());
    EXPECT_EQ(ThinningPolicy::fromText(ThinningPolicy{6, 0, 4, 0}.toText()), (ThinningPolicy{6, 0, 4, 0}));
    for (const QString &bad : {u""_s, u"24,31,8"_s, u"0,31,8,12"_s, u"24,-1,8,12"_s, u"24,x,8,12"_s})
        EXPECT_FALSE(ThinningPolicy::fromText(bad)) << bad.toStdString();
}
