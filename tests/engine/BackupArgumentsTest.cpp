// The rsync argument list, row by row, and the exclusion patterns.
#include "BackupArguments.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kExcludeFile = QStringLiteral("/opt/vellumor/share/vellumor/excludelist.txt");
const QString kSnapshot = QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM");

QStringList head()
{
    return {QStringLiteral("--exclude-from=") + kExcludeFile, QStringLiteral("--out-format=\t://: %n"),
            QStringLiteral("-laxi")};
}

QStringList common()
{
    return {QStringLiteral("-DH"), QStringLiteral("--partial-dir=.rsync-partial"), QStringLiteral("--progress"),
            QStringLiteral("--numeric-ids"), QStringLiteral("--stats")};
}

BackupArgumentInput baseInput()
{
    BackupArgumentInput input;
    input.excludeListPath = kExcludeFile;
    input.backupSources = {QStringLiteral("/home/a/docs")};
    input.trimmedSources = input.backupSources;
    input.backupDest = QStringLiteral("/media/Backup/");
    input.snapshotFolderName = kSnapshot;
    return input;
}

struct ArgumentCase
{
    const char *name;
    std::function<void(BackupArgumentInput &)> setUp;
    QStringList expected;
};

void PrintTo(const ArgumentCase &c, std::ostream *os)
{
    *os << c.name;
}

class ArgumentListTest : public ::testing::TestWithParam<ArgumentCase>
{};

TEST_P(ArgumentListTest, MatchesTheTable)
{
    BackupArgumentInput input = baseInput();
    GetParam().setUp(input);
    EXPECT_EQ(backupArgumentList(input), GetParam().expected);
}

const QString kFilter = QStringLiteral("--filter=P /*");
const QString kDelete = QStringLiteral("--delete");
const QString kUpdate = QStringLiteral("--update");
const QString kEnd = QStringLiteral("--"); // the paths follow it
const QString kSource = QStringLiteral("/home/a/docs");
const QString kDest = QStringLiteral("/media/Backup/");
const QString kNewFolder = kDest + kSnapshot + u'/';
const QString kPrev = QStringLiteral("/media/Backup/VLM Snapshot 05-12-2026 Sat 21-00 PM/");

INSTANTIATE_TEST_SUITE_P(
    Rows, ArgumentListTest,
    ::testing::Values(
        ArgumentCase{"SyncDefault", [](BackupArgumentInput &) {},
                     head() + common() + QStringList{kFilter, kDelete, kEnd, kSource, kDest}},
        ArgumentCase{"SyncProtectRootOff", [](BackupArgumentInput &i) { i.protectRoot = false; },
                     head() + common() + QStringList{kDelete, kEnd, kSource, kDest}},
        ArgumentCase{"SyncRestore", [](BackupArgumentInput &i) { i.isRestore = true; },
                     head() + common() + QStringList{kFilter, kUpdate, kEnd, kSource, kDest}},
        ArgumentCase{"SyncFinderCopy", [](BackupArgumentInput &i) { i.isFinderCopy = true; },
                     head() + common() + QStringList{kFilter, kEnd, kSource, kDest}},
        ArgumentCase{"SyncFinderCopyRestore", [](BackupArgumentInput &i) { i.isFinderCopy = i.isRestore = true; },
                     head() + common() + QStringList{kFilter, kUpdate, kEnd, kSource, kDest}},
        ArgumentCase{"SyncExclusionsInOrder",
                     [](BackupArgumentInput &i) { i.exclusionPatterns = {QStringLiteral("/docs/b"), QStringLiteral("/docs/a")}; },
                     head() + common()
                         + QStringList{kFilter, kDelete, QStringLiteral("--exclude"), QStringLiteral("/docs/b"),
                                       QStringLiteral("--exclude"), QStringLiteral("/docs/a"), kEnd, kSource, kDest}},
        // Past what the kernel lets a program start with, the patterns are
        // read from a file; one with a line break cannot be a line of it.
        ArgumentCase{"SyncExclusionsFromAFile",
                     [](BackupArgumentInput &i) {
                         i.exclusionPatterns = {QStringLiteral("/docs/a"), QStringLiteral("/docs/b\nc")};
                         i.exclusionFilePath = QStringLiteral("/tmp/exclusions");
                     },
                     head() + common()
                         + QStringList{kFilter, kDelete, QStringLiteral("--exclude-from=/tmp/exclusions"),
                                       QStringLiteral("--exclude"), QStringLiteral("/docs/b\nc"), kEnd, kSource, kDest}},
        ArgumentCase{"SyncTwoSources",
                     [](BackupArgumentInput &i) { i.backupSources = i.trimmedSources = {kSource, QStringLiteral("/etc")}; },
                     head() + common() + QStringList{kFilter, kDelete, kEnd, kSource, QStringLiteral("/etc"), kDest}},
        ArgumentCase{"SyncBootableCloneOfRoot",
                     [](BackupArgumentInput &i) {
                         i.backupSources = i.trimmedSources = {QStringLiteral("/")};
                         i.bootableClone = true;
                     },
                     head() + common() + QStringList{kFilter, kDelete, kEnd, QStringLiteral("/"), kDest}},
        ArgumentCase{"SnapshotFirst", [](BackupArgumentInput &i) { i.snapshot = true; },
                     head() + common() + QStringList{kFilter, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotFirstProtectRootOff",
                     [](BackupArgumentInput &i) { i.snapshot = true; i.protectRoot = false; },
                     head() + common() + QStringList{kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotFirstRestoreAndFinderCopyAddNothing",
                     [](BackupArgumentInput &i) { i.snapshot = i.isRestore = i.isFinderCopy = true; },
                     head() + common() + QStringList{kFilter, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotFirstBootableCloneCopiesToTheVolumeRoot",
                     [](BackupArgumentInput &i) {
                         i.snapshot = true;
                         i.trimmedSources = {QStringLiteral("/mnt/sys")};
                         i.backupSources = {QStringLiteral("/mnt/sys/")};
                         i.bootableClone = true;
                     },
                     head() + common() + QStringList{kFilter, kEnd, QStringLiteral("/mnt/sys"), kDest}},
        ArgumentCase{"SnapshotLinked",
                     [](BackupArgumentInput &i) { i.snapshot = true; i.linkDest = kPrev; },
                     head() + QStringList{QStringLiteral("-vv")} + common()
                         + QStringList{QStringLiteral("--link-dest=") + kPrev, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotLinkedRestoreAddsNothing",
                     [](BackupArgumentInput &i) { i.snapshot = i.isRestore = true; i.linkDest = kPrev; },
                     head() + QStringList{QStringLiteral("-vv")} + common()
                         + QStringList{QStringLiteral("--link-dest=") + kPrev, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotLinkedPassesBackupSources",
                     [](BackupArgumentInput &i) {
                         i.snapshot = true;
                         i.linkDest = kPrev;
                         i.trimmedSources = {QStringLiteral("/mnt/sys")};
                         i.backupSources = {QStringLiteral("/mnt/sys/")};
                         i.bootableClone = true;
                     },
                     head() + QStringList{QStringLiteral("-vv")} + common()
                         + QStringList{QStringLiteral("--link-dest=") + kPrev, kEnd, QStringLiteral("/mnt/sys/"), kNewFolder}},
        // Completing an earlier run's unfinished folder deletes what has left
        // the source since; a fresh folder needs no deletion.
        ArgumentCase{"SnapshotLinkedResumingDeletes",
                     [](BackupArgumentInput &i) {
                         i.snapshot = i.resumingFolder = true;
                         i.linkDest = kPrev;
                     },
                     head() + QStringList{QStringLiteral("-vv")} + common()
                         + QStringList{QStringLiteral("--link-dest=") + kPrev, kDelete, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SnapshotFirstResumingDeletesInsideTheProtectedRoot",
                     [](BackupArgumentInput &i) { i.snapshot = i.resumingFolder = true; },
                     head() + common() + QStringList{kFilter, kDelete, kEnd, kSource, kNewFolder}},
        ArgumentCase{"SyncIgnoresResuming", [](BackupArgumentInput &i) { i.resumingFolder = true; i.isRestore = true; },
                     head() + common() + QStringList{kFilter, kUpdate, kEnd, kSource, kDest}}),
    [](const ::testing::TestParamInfo<ArgumentCase> &info) { return std::string(info.param.name); });

TEST(TrimmedSources, DropsOneTrailingSlashExceptForRoot)
{
    const struct
    {
        QString in;
        QString out;
    } cases[] = {
        {QStringLiteral("/home/a/"), QStringLiteral("/home/a")},
        {QStringLiteral("/home/a//"), QStringLiteral("/home/a/")},
        {QStringLiteral("/"), QStringLiteral("/")},
        {QStringLiteral("/home/a"), QStringLiteral("/home/a")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in.toStdString());
        EXPECT_EQ(trimmedSources({c.in}), QStringList{c.out});
    }
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/media/Disk")), QStringLiteral("/media/Disk/"));
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/media/Disk/")), QStringLiteral("/media/Disk/"));
}

TEST(SnapshotFolderName, UsesTheLocaleWeekdayAndMarker)
{
    const QDateTime evening(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC);
    EXPECT_EQ(snapshotFolderName(evening, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    const QDateTime morning(QDate(2026, 1, 2), QTime(9, 5), Qt::UTC);
    EXPECT_EQ(snapshotFolderName(morning, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("VLM Snapshot 02-01-2026 Fri 09-05 AM"));
}

TEST(ExclusionPatterns, AnchoredAtTheTransferRootOnWholeComponents)
{
    const struct
    {
        const char *name;
        QString source;
        QStringList excluded;
        QStringList expected;
    } cases[] = {
        {"folder copied: rooted at its name",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs/build")},
         {QStringLiteral("/docs/build")}},
        {"sibling with a longer name is outside",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs2/x"), QStringLiteral("/home/a/docs2")},
         {}},
        {"outside the source is ignored", QStringLiteral("/home/a/docs"), {QStringLiteral("/etc/x")}, {}},
        {"the source itself adds nothing",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs"), QStringLiteral("/home/a/docs/")},
         {}},
        {"root source",
         QStringLiteral("/"),
         {QStringLiteral("/build"), QStringLiteral("/home/a/.cache")},
         {QStringLiteral("/build"), QStringLiteral("/home/a/.cache")}},
        {"entry / gives /", QStringLiteral("/"), {QStringLiteral("/")}, {QStringLiteral("/")}},
        {"contents copied: rooted at the source",
         QStringLiteral("/home/a/docs/"),
         {QStringLiteral("/home/a/docs/build/")},
         {QStringLiteral("/build")}},
        {"order kept, deep entries",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs/x/y z"), QStringLiteral("/home/a/docs/-lead")},
         {QStringLiteral("/docs/x/y z"), QStringLiteral("/docs/-lead")}},
        {"wildcards are escaped",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs/what?[1]*")},
         {QStringLiteral("/docs/what\\?\\[1\\]\\*")}},
        {"no wildcard: backslash stays literal",
         QStringLiteral("/home/a/docs"),
         {QStringLiteral("/home/a/docs/a\\b")},
         {QStringLiteral("/docs/a\\b")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(exclusionPatterns(c.excluded, c.source), c.expected);
    }
}

} // namespace

// The system's own paths apply only to a source that really holds them.
struct SystemExclusionCase
{
    const char *name;
    QStringList sources; // as passed
    bool bootableClone;
    QStringList expected;
};

TEST(SystemExclusionPatterns, ApplyOnlyToASourceThatContainsThem)
{
    const QStringList wholeSystem{u"/proc/*"_s,
                                  u"/sys/*"_s,
                                  u"/dev/*"_s,
                                  u"/run/*"_s,
                                  u"/tmp/*"_s,
                                  u"/var/tmp/*"_s,
                                  u"/var/cache/apt/archives/*.deb"_s,
                                  u"/lost+found"_s,
                                  u"/swapfile"_s,
                                  u"/swap.img"_s};
    const SystemExclusionCase cases[] = {
        {"a folder named dev is copied whole", {u"/home/a/dev"_s}, false, {}},
        {"folders named run, tmp, proc and sys too",
         {u"/home/a/run"_s, u"/home/a/tmp"_s, u"/srv/proc"_s, u"/srv/sys"_s},
         false,
         {}},
        {"the whole system", {u"/"_s}, false, wholeSystem},
        {"a system disk's contents (bootable clone)", {u"/mnt/system/"_s}, true, wholeSystem},
        {"/var holds its own tmp and package cache",
         {u"/var"_s},
         false,
         {u"/var/tmp/*"_s, u"/var/cache/apt/archives/*.deb"_s}},
        {"the contents of /var/", {u"/var/"_s}, false, {u"/tmp/*"_s, u"/cache/apt/archives/*.deb"_s}},
        {"/tmp chosen itself is copied whole", {u"/tmp"_s}, false, {}},
        {"a home folder holds none of them", {u"/home/a"_s}, false, {}},
        {"one pattern per path across sources",
         {u"/var"_s, u"/var/cache"_s},
         false,
         {u"/var/tmp/*"_s, u"/var/cache/apt/archives/*.deb"_s, u"/cache/apt/archives/*.deb"_s}},
    };
    for (const SystemExclusionCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(systemExclusionPatterns(c.sources, c.bootableClone), c.expected);
    }
}
