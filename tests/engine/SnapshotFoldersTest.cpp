#include "SnapshotFolders.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace SnapshotFolders;

namespace {
const QLocale english(QLocale::English, QLocale::UnitedStates);

QString folder(const char *name)
{
    return QStringLiteral("/media/disk/backups/") + QString::fromUtf8(name);
}
} // namespace

TEST(SnapshotFolders, NameAndPathOfARun)
{
    const QDateTime start(QDate(2026, 12, 6), QTime(21, 0, 42));
    EXPECT_EQ(snapshotFolderName(start, english), QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    EXPECT_EQ(snapshotFolderName(QDateTime(QDate(2026, 1, 5), QTime(9, 7)), english),
              QStringLiteral("VLM Snapshot 05-01-2026 Mon 09-07 AM"));
    EXPECT_EQ(snapshotFolderPath(QStringLiteral("/media/disk"), start, english),
              QStringLiteral("/media/disk/VLM Snapshot 06-12-2026 Sun 21-00 PM/"));
    EXPECT_EQ(snapshotFolderPath(QStringLiteral("/media/disk/"), start, english),
              QStringLiteral("/media/disk/VLM Snapshot 06-12-2026 Sun 21-00 PM/"));
    // The name reads back as the minute it was made in.
    EXPECT_EQ(snapshotDate(snapshotFolderName(start, english), english), QDateTime(QDate(2026, 12, 6), QTime(21, 0)));
}

TEST(SnapshotFolders, RecognisedByPrefixOnly)
{
    const struct
    {
        const char *path;
        bool isSnapshot;
    } cases[] = {
        {"/d/VLM Snapshot 06-12-2026 Sun 21-00 PM", true},
        {"/d/VLM Snapshot 06-12-2026 Sun 21-00 PM/", true},
        {"/d/VLM Snapshot old", true},
        {"/d/VLM Snapshot", false},
        {"/d/.VLM Snapshot 06-12-2026 Sun 21-00 PM", false},
        {"/d/vlm snapshot 06-12-2026 Sun 21-00 PM", false},
        {"/VLM Snapshot x/inside", false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.path);
        EXPECT_EQ(doesLookLikeVLMBackupFolder(QString::fromUtf8(testCase.path)), testCase.isSnapshot);
    }
}

TEST(SnapshotFolders, OldestIsTheEarliestDateThatReads)
{
    const struct
    {
        const char *name;
        QStringList folders;
        std::optional<QString> oldest;
    } cases[] = {
        {"earliest date wins across months and years",
         {folder("VLM Snapshot 06-12-2026 Sun 21-00 PM"), folder("VLM Snapshot 31-12-2025 Wed 23-59 PM"),
          folder("VLM Snapshot 07-12-2026 Mon 09-00 AM")},
         folder("VLM Snapshot 31-12-2025 Wed 23-59 PM")},
        {"a name that is not a date is never chosen",
         {folder("VLM Snapshot old"), folder("VLM Snapshot 06-12-2026 Sun 21-00 PM")},
         folder("VLM Snapshot 06-12-2026 Sun 21-00 PM")},
        {"equal dates: the later in the list wins",
         {folder("VLM Snapshot 06-12-2026 Sun 21-00 PM/"), folder("VLM Snapshot 06-12-2026 Sun 21-00 PM")},
         folder("VLM Snapshot 06-12-2026 Sun 21-00 PM")},
        {"nothing reads as a date", {folder("VLM Snapshot old"), folder("VLM Snapshot x")}, std::nullopt},
        {"empty list", {}, std::nullopt},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(getOldestBackup(testCase.folders, english), testCase.oldest);
    }
}

TEST(SnapshotFolders, RotationRemovesOneOldestButNeverTheLinkDestination)
{
    const QString s1 = folder("VLM Snapshot 01-12-2026 Tue 21-00 PM");
    const QString s2 = folder("VLM Snapshot 02-12-2026 Wed 21-00 PM");
    const QString s3 = folder("VLM Snapshot 03-12-2026 Thu 21-00 PM");
    const QString s4 = folder("VLM Snapshot 04-12-2026 Fri 21-00 PM");
    const QString s5 = folder("VLM Snapshot 05-12-2026 Sat 21-00 PM");
    const QString odd = folder("VLM Snapshot old");
    const struct
    {
        const char *name;
        QStringList present;
        qint64 keep;
        QString linkDest;
        std::optional<QString> removed;
    } cases[] = {
        {"keep 3, 2 present: nothing", {s1, s2}, 3, s2 + QLatin1Char('/'), std::nullopt},
        {"keep 3, 3 present: the oldest", {s2, s1, s3}, 3, s3 + QLatin1Char('/'), s1},
        {"keep 3, 5 present: only the oldest", {s1, s2, s3, s4, s5}, 3, s5 + QLatin1Char('/'), s1},
        {"keep 0: never", {s1, s2, s3}, 0, QString(), std::nullopt},
        {"keep -1: never", {s1, s2, s3}, -1, QString(), std::nullopt},
        // The only snapshot is the one this run links against: it stays, the
        // surplus goes on the next run.
        {"keep 1, 1 present that is the link destination", {s1}, 1, s1 + QLatin1Char('/'), std::nullopt},
        {"keep 1, 2 present: the one not linked against", {s1, s2}, 1, s2 + QLatin1Char('/'), s1},
        {"keep 2, the link destination is the oldest", {s1, s2}, 2, s1 + QLatin1Char('/'), s2},
        {"keep 2 without a link destination", {s1, s2}, 2, QString(), s1},
        {"a folder that is not a date counts but is never removed", {odd, s3}, 2, s3 + QLatin1Char('/'), std::nullopt},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(snapshotToRemove(testCase.present, testCase.keep, testCase.linkDest, english), testCase.removed);
    }
}

TEST(SnapshotFolders, LinkDestinationDisplayText)
{
    EXPECT_EQ(linkDestDisplayText(QStringLiteral("/media/disk/VLM Snapshot 06-12-2026 Sun 21-00 PM/")),
              QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    EXPECT_EQ(linkDestDisplayText(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(linkDestDisplayText(std::nullopt), QStringLiteral(" "));
    EXPECT_EQ(linkDestDisplayText(QString()), QStringLiteral(" "));
}

TEST(RemovalProgressCounter, ReportsInBatchesOfAThousand)
{
    RemovalProgressCounter counter;
    QByteArray bigChunk;
    for (int i = 0; i < 2500; ++i)
        bigChunk += "removed 'f" + QByteArray::number(i) + "'\n";
    EXPECT_EQ(counter.addChunk(bigChunk), std::optional<qint64>(2501));

    RemovalProgressCounter small;
    const QByteArray line("removed 'x'\n"); // one complete line adds 2
    std::optional<qint64> report;
    int chunks = 0;
    while (!report) {
        report = small.addChunk(line);
        ++chunks;
    }
    EXPECT_EQ(chunks, 500);
    EXPECT_EQ(report, std::optional<qint64>(1000));
}

TEST(SnapshotFolders, NewestIsTheLatestDateThatReadsWithOneTrailingSlash)
{
    const struct
    {
        const char *name;
        QStringList folders;
        std::optional<QString> newest;
    } cases[] = {
        {"latest date wins across months and years",
         {folder("VLM Snapshot 06-12-2026 Sun 21-00 PM"), folder("VLM Snapshot 31-12-2025 Wed 23-59 PM"),
          folder("VLM Snapshot 07-12-2026 Mon 09-00 AM")},
         folder("VLM Snapshot 07-12-2026 Mon 09-00 AM/")},
        {"AM and PM of one day",
         {folder("VLM Snapshot 07-12-2026 Mon 21-00 PM"), folder("VLM Snapshot 07-12-2026 Mon 09-00 AM")},
         folder("VLM Snapshot 07-12-2026 Mon 21-00 PM/")},
        {"a name that is not a date is never chosen",
         {folder("VLM Snapshot zzz"), folder("VLM Snapshot 06-12-2026 Sun 21-00 PM")},
         folder("VLM Snapshot 06-12-2026 Sun 21-00 PM/")},
        {"a trailing slash is not doubled",
         {folder("VLM Snapshot 06-12-2026 Sun 21-00 PM//")},
         folder("VLM Snapshot 06-12-2026 Sun 21-00 PM/")},
        {"nothing reads as a date", {folder("VLM Snapshot old")}, std::nullopt},
        {"empty list", {}, std::nullopt},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(newestSnapshot(testCase.folders, english), testCase.newest);
    }
}
