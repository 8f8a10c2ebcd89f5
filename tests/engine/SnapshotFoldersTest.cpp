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
    EXPECT_EQ(snapshotDate(snapshotFolderName(start, english)), QDateTime(QDate(2026, 12, 6), QTime(21, 0)));
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
        EXPECT_EQ(getOldestBackup(testCase.folders), testCase.oldest);
    }
}

// Rotation now runs after a good run, with the new snapshot among those
// present: it removes the oldest while more than the limit remain, and
// never the link destination or the new snapshot.
TEST(SnapshotFolders, RotationRemovesTheOldestButNeverTheLinkDestinationOrTheNewSnapshot)
{
    const QString s1 = folder("VLM Snapshot 01-12-2026 Tue 21-00 PM");
    const QString s2 = folder("VLM Snapshot 02-12-2026 Wed 21-00 PM");
    const QString s3 = folder("VLM Snapshot 03-12-2026 Thu 21-00 PM");
    const QString s4 = folder("VLM Snapshot 04-12-2026 Fri 21-00 PM");
    const QString s5 = folder("VLM Snapshot 05-12-2026 Sat 21-00 PM");
    const QString odd = folder("VLM Snapshot old");
    const QString slash = QStringLiteral("/");
    const struct
    {
        const char *name;
        QStringList present;
        qint64 keep;
        QStringList kept;
        QStringList removed;
    } cases[] = {
        {"keep 3, 2 present: nothing", {s1, s2}, 3, {s1 + slash, s2}, {}},
        {"keep 3, 3 present: nothing", {s2, s1, s3}, 3, {s2 + slash, s3}, {}},
        {"keep 3, 4 present: the oldest", {s2, s1, s3, s4}, 3, {s3 + slash, s4}, {s1}},
        {"keep 3, 5 present: the two oldest, oldest first", {s5, s4, s3, s2, s1}, 3, {s4 + slash, s5}, {s1, s2}},
        {"keep 0: never", {s1, s2, s3}, 0, {}, {}},
        {"keep -1: never", {s1, s2, s3}, -1, {}, {}},
        {"keep 1, the link destination and the new one: both stay", {s1, s2}, 1, {s1 + slash, s2}, {}},
        {"keep 1, three present: only the one not kept", {s1, s2, s3}, 1, {s2 + slash, s3}, {s1}},
        {"keep 2, the link destination is the oldest", {s1, s2, s3}, 2, {s1 + slash, s3}, {s2}},
        {"keep 2 without a link destination", {s1, s2, s3}, 2, {s3}, {s1}},
        // A name that is not a date neither counts nor goes.
        {"a folder that is not a date is ignored", {odd, s2, s3}, 2, {s3}, {}},
        {"nothing present", {}, 2, {}, {}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(snapshotsToRetire(testCase.present, testCase.keep, testCase.kept), testCase.removed);
    }
}

TEST(SnapshotFolders, DatesAreReadFromTheDigitsInAnyLocale)
{
    const QDateTime evening(QDate(2026, 12, 8), QTime(21, 5));
    const QLocale locales[] = {english,
                               QLocale(QLocale::German, QLocale::Germany),
                               QLocale(QLocale::French, QLocale::France),
                               QLocale(QLocale::Japanese, QLocale::Japan),
                               QLocale(QLocale::Arabic, QLocale::Egypt),
                               QLocale(QLocale::C)};
    for (const QLocale &locale : locales) {
        const QString name = snapshotFolderName(evening, locale);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(snapshotDate(name), evening);
    }
    const struct
    {
        const char *name;
        std::optional<QDateTime> date;
    } cases[] = {
        {"VLM Snapshot 06-12-2026 Sun 21-00 PM", QDateTime(QDate(2026, 12, 6), QTime(21, 0))},
        {"VLM Snapshot 08-12-2026 Di. 09-30 vorm.", QDateTime(QDate(2026, 12, 8), QTime(9, 30))},
        {"VLM Snapshot 08-12-2026 Di. 21-30 ", QDateTime(QDate(2026, 12, 8), QTime(21, 30))},
        {"VLM Snapshot 08-12-2026 mar. 21-30", QDateTime(QDate(2026, 12, 8), QTime(21, 30))},
        {"VLM Snapshot 31-02-2026 Sun 21-00 PM", std::nullopt},
        {"VLM Snapshot 06-12-2026 Sun 25-00 PM", std::nullopt},
        {"VLM Snapshot old", std::nullopt},
        {"VLM Snapshot 06-12-2026", std::nullopt},
        {".VLM Snapshot 06-12-2026 Sun 21-00 PM.incomplete", std::nullopt},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(snapshotDate(folder(testCase.name)), testCase.date);
    }
}

TEST(SnapshotFolders, NewestOfMixedLocales)
{
    const QStringList folders{folder("VLM Snapshot 08-12-2026 Di. 21-30 "),
                              folder("VLM Snapshot 07-12-2026 Mon 21-00 PM"), folder("VLM Snapshot old")};
    EXPECT_EQ(newestBackup(folders), folders.at(0));
    EXPECT_EQ(getOldestBackup(folders), folders.at(1));
    EXPECT_EQ(newestBackup({}), std::nullopt);
}

TEST(SnapshotFolders, WorkingAndRetiringFoldersNeverLookLikeSnapshots)
{
    const QDateTime start(QDate(2026, 12, 6), QTime(21, 0));
    const QString working = workingFolderName(start, english);
    EXPECT_EQ(working, QStringLiteral(".VLM Snapshot 06-12-2026 Sun 21-00 PM.incomplete"));
    const QString retiring = retiringFolderName(snapshotFolderName(start, english));
    EXPECT_EQ(retiring, QStringLiteral(".VLM Snapshot 06-12-2026 Sun 21-00 PM.removing"));
    const struct
    {
        QString name;
        bool snapshot, workingFolder, retiringFolder;
    } cases[] = {
        {working, false, true, false},
        {retiring, false, false, true},
        {snapshotFolderName(start, english), true, false, false},
        {QStringLiteral(".VLM Snapshot .incomplete"), false, false, false},
        {QStringLiteral("VLM Snapshot x.incomplete"), true, false, false},
        {QStringLiteral(".VLM Snapshots.lock"), false, false, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name.toStdString());
        EXPECT_EQ(doesLookLikeVLMBackupFolder(folder(testCase.name.toUtf8().constData())), testCase.snapshot);
        EXPECT_EQ(isWorkingFolderName(testCase.name), testCase.workingFolder);
        EXPECT_EQ(isRetiringFolderName(testCase.name), testCase.retiringFolder);
    }
    EXPECT_EQ(retiredSnapshotName(QStringLiteral("/d/") + retiring), snapshotFolderName(start, english));
}

TEST(SnapshotFolders, OwnerIsTheFirstSourcesFolderName)
{
    EXPECT_EQ(ownerFolderName(QStringLiteral("/home/a/Data")), QStringLiteral("Data"));
    EXPECT_EQ(ownerFolderName(QStringLiteral("/home/a/Data/")), QString());
    EXPECT_EQ(ownerFolderName(QStringLiteral("/")), QString());
    EXPECT_EQ(ownerFolderName(QString()), QString());
}

TEST(SnapshotFolders, OnlyASummaryAndAGoodExitMakeASnapshot)
{
    const struct
    {
        bool summary;
        std::optional<int> exit;
        bool good;
    } cases[] = {
        {true, 0, true},   {true, 24, true},  {true, 23, false},           {true, 11, false},
        {true, 20, false}, {false, 0, false}, {true, std::nullopt, false}, {false, 24, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.exit.value_or(-1));
        EXPECT_EQ(runEndedWell(testCase.summary, testCase.exit), testCase.good);
    }
}

TEST(RemovalErrorCollector, KeepsTheFirstReasonAcrossChunks)
{
    RemovalErrorCollector collector;
    collector.addChunk("removed 'a'\nremoved directory 'b'\ndropcount: cannot remo");
    EXPECT_EQ(collector.firstReason(), QString());
    collector.addChunk(
        "ve '/d/x/busy': Device or resource busy\ndropcount: cannot remove '/d/x': Directory not empty\n");
    EXPECT_EQ(collector.firstReason(), QStringLiteral("Device or resource busy"));

    RemovalErrorCollector skipping;
    skipping.addChunk("removed 'a'\ndropcount: skipping '/d/x/m', since it is on a different file system\n");
    EXPECT_EQ(skipping.firstReason(), QStringLiteral("skipping '/d/x/m', since it is on a different file system"));

    // The complaint came on the other stream, in the middle of a line.
    RemovalErrorCollector glued;
    glued.addChunk("removed '/d/x/a");
    glued.addChunk("dropcount: cannot remove '/d/x': Permission denied\n");
    EXPECT_EQ(glued.firstReason(), QStringLiteral("Permission denied"));
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
