// The pieces of a fast snapshot: the hard-link clone, the change list read
// from the dry run, removing and detaching entries of the clone, and the
// transfer list of the copy.
#include "CloneEdits.h"
#include "TestFiles.h"
#include "FastSnapshot.h"
#include "HardLinkClone.h"
#include "SnapshotChangeList.h"
#include "TransferList.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct stat statusOf(const QString &path)
{
    struct stat status
    {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

void setTimes(const QString &path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

// A previous snapshot with the kinds of entries a backup holds.
class CloneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeFile(from(u"Data/a.txt"_s), "alpha");
        writeFile(from(u"Data/deep/er/b.txt"_s), "beta");
        writeFile(from(u"Data/Odd Names/new\nline \xff.txt"_s), "odd");
        QDir().mkpath(from(u"Data/empty"_s));
        QDir().mkpath(m_dir.filePath(u"outside"_s));
        writeFile(m_dir.filePath(u"outside/victim.txt"_s), "keep me");
        ::symlink("a.txt", QFile::encodeName(from(u"Data/link to a"_s)).constData());
        ::symlink(QFile::encodeName(m_dir.filePath(u"outside"_s)).constData(),
                  QFile::encodeName(from(u"Data/link to outside"_s)).constData());
        ::symlink("nowhere", QFile::encodeName(from(u"Data/dangling"_s)).constData());
        ::mkfifo(QFile::encodeName(from(u"Data/pipe"_s)).constData(), 0640);
        ::link(QFile::encodeName(from(u"Data/a.txt"_s)).constData(),
               QFile::encodeName(from(u"Data/deep/a hard link"_s)).constData());
        ::chmod(QFile::encodeName(from(u"Data/deep/er"_s)).constData(), 0555);
        setTimes(from(u"Data/deep/er"_s), 1000000);
        setTimes(from(u"Data/deep"_s), 2000000);
        setTimes(from(u"Data"_s), 3000000);
    }

    void TearDown() override
    {
        // Read-only folders must be writable again for the temporary folder.
        for (const QString &root : {from(QString()), to(QString())})
            ::chmod(QFile::encodeName(root + u"Data/deep/er"_s).constData(), 0755);
    }

    QString from(const QString &relative) const { return m_dir.filePath(u"previous/"_s) + relative; }
    QString to(const QString &relative) const { return m_dir.filePath(u"clone/"_s) + relative; }

    QTemporaryDir m_dir;
};

TEST_F(CloneTest, EveryEntryButFoldersIsALinkToTheOriginalAndFoldersKeepTheirAttributes)
{
    const HardLinkCloneResult result = HardLinkClone(3).clone(from(QString()), to(QString()));
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.leftOut.empty());

    const QStringList linkedEntries
        = {u"Data/a.txt"_s,     u"Data/deep/er/b.txt"_s,   u"Data/Odd Names/new\nline \xff.txt"_s,
           u"Data/link to a"_s, u"Data/link to outside"_s, u"Data/dangling"_s,
           u"Data/pipe"_s,      u"Data/deep/a hard link"_s};
    for (const QString &entry : linkedEntries) {
        SCOPED_TRACE(entry.toStdString());
        EXPECT_EQ(statusOf(to(entry)).st_ino, statusOf(from(entry)).st_ino);
    }
    EXPECT_EQ(result.linked, std::uint64_t(linkedEntries.size()));
    // The link to a folder outside is a link, not a copy of what it points to.
    EXPECT_TRUE(S_ISLNK(statusOf(to(u"Data/link to outside"_s)).st_mode));

    for (const QString &folder : {u"Data"_s, u"Data/deep"_s, u"Data/deep/er"_s, u"Data/empty"_s}) {
        SCOPED_TRACE(folder.toStdString());
        const struct stat original = statusOf(from(folder));
        const struct stat copy = statusOf(to(folder));
        EXPECT_NE(copy.st_ino, original.st_ino);
        EXPECT_EQ(copy.st_mode, original.st_mode);
        EXPECT_EQ(copy.st_uid, original.st_uid);
        EXPECT_EQ(copy.st_gid, original.st_gid);
        EXPECT_EQ(copy.st_mtim.tv_sec, original.st_mtim.tv_sec);
    }
}

TEST_F(CloneTest, RefusesAnExistingTargetAndAStopEndsTheWalk)
{
    QDir().mkpath(to(QString()));
    HardLinkCloneResult result = HardLinkClone().clone(from(QString()), to(QString()));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());

    std::atomic<bool> stop{true};
    result = HardLinkClone(2, &stop).clone(from(QString()), m_dir.filePath(u"stopped"_s));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.linked, 0u);
}

TEST_F(CloneTest, DetachingUnlinksFromTheCloneOnlyAndNeverThroughALink)
{
    ASSERT_TRUE(HardLinkClone().clone(from(QString()), to(QString())).ok);
    const int cloneFd = ::open(QFile::encodeName(to(QString())).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(cloneFd, 0);
    const CloneEdits::Result result = CloneEdits::detachEntries(
        cloneFd,
        {"Data/a.txt", "Data/link to outside/victim.txt", "Data/deep", "Data/missing/x", "Data/gone.txt",
         "Data/Odd Names/new\nline \xc3\xbf.txt", "Data/../previous/Data/deep/er/b.txt"});
    ::close(cloneFd);

    EXPECT_EQ(result.done, 2u);
    // A name that climbs out of the clone is refused, never followed.
    EXPECT_EQ(result.failures, std::vector<std::string>{"Data/../previous/Data/deep/er/b.txt"});
    EXPECT_FALSE(QFile::exists(to(u"Data/a.txt"_s)));
    EXPECT_TRUE(QFile::exists(from(u"Data/a.txt"_s)));
    EXPECT_FALSE(QFile::exists(to(u"Data/Odd Names/new\nline \xff.txt"_s)));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(u"outside/victim.txt"_s)));
    EXPECT_TRUE(QFile::exists(from(u"Data/deep/er/b.txt"_s)));
    EXPECT_TRUE(QFileInfo(to(u"Data/deep"_s)).isDir());
}

// Without root's rights, an entry of a read-only folder is detached too, and
// the folder keeps its mode.
TEST_F(CloneTest, DetachingReachesIntoAReadOnlyFolderWithoutRootsRights)
{
    const auto detach = [this]() -> int {
        if (!HardLinkClone().clone(from(QString()), to(QString())).ok)
            return 2;
        const int cloneFd = ::open(QFile::encodeName(to(QString())).constData(), O_RDONLY | O_DIRECTORY);
        const CloneEdits::Result result = CloneEdits::detachEntries(cloneFd, {"Data/deep/er/b.txt"});
        ::close(cloneFd);
        if (result.done != 1 || !result.failures.empty())
            return 3;
        if (QFile::exists(to(u"Data/deep/er/b.txt"_s)) || !QFile::exists(from(u"Data/deep/er/b.txt"_s)))
            return 4;
        return (statusOf(to(u"Data/deep/er"_s)).st_mode & 07777) == 0555 ? 0 : 5;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(detach(), 0);
        return;
    }
    // As root: the same in a child that has given up root for an account
    // that owns the tree.
    const uid_t nobody = 65534;
    ASSERT_EQ(QProcess::execute(u"chown"_s, {u"-R"_s, u"65534:65534"_s, m_dir.path()}), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(1);
        ::_exit(detach());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SnapshotChangeList, NamesAreUnescapedAsRsyncEscapesThem)
{
    const struct
    {
        std::string escaped;
        std::string name;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"new\\#012line", "new\nline"},
        {"tab\\#011and cr\\#015", "tab\tand cr\r"},
        {"latin1 \\#351t\\#351", "latin1 \xe9t\xe9"},
        {"back\\slash", "back\\slash"},
        {"short \\#01", "short \\#01"},
        {"not octal \\#089", "not octal \\#089"},
        {"end\\", "end\\"},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.escaped);
        EXPECT_EQ(SnapshotChangeList::unescapeName(testCase.escaped), testCase.name);
    }
}

TEST(SnapshotChangeList, LinesGiveTheChangedOrDeletedNamesAndLinkTargets)
{
    using Names = std::vector<std::string>;
    const struct
    {
        std::string line;
        bool read;
        bool deletion;
        Names names;
    } cases[] = {
        {"\t#change: >f+++++++++ Data/new.txt", true, false, {"Data/new.txt"}},
        {"\t#change: >f.st...... Data/changed.txt", true, false, {"Data/changed.txt"}},
        {"\t#change: .f...p..... Data/mode only.txt", true, false, {"Data/mode only.txt"}},
        {"\t#change: .f....o.... Data/owner only.txt", true, false, {"Data/owner only.txt"}},
        {"\t#change: .L..t...... Data/link -> target", true, false, {"Data/link"}},
        {"\t#change: cL+++++++++ Data/re -> pointed -> a -> b",
         true,
         false,
         {"Data/re", "Data/re -> pointed", "Data/re -> pointed -> a"}},
        {"\t#change: hf+++++++++ Data/second name => Data/first", true, false, {"Data/second name", "Data/first"}},
        {"\t#change: hf+++++++++ Data/x => y => Data/z",
         true,
         false,
         {"Data/x", "y => Data/z", "Data/x => y", "Data/z"}},
        {"\t#change: cD+++++++++ Data/pipe", true, false, {"Data/pipe"}},
        {"\t#change: .d..t...... Data/folder/", true, false, {"Data/folder"}},
        {"\t#change: cd+++++++++ Data/new\\#012folder/", true, false, {"Data/new\nfolder"}},
        {"\t#change: .d..t...... ./", true, false, {"."}},
        {"\t#change: *deleting   Data/gone -> away.txt", true, true, {"Data/gone -> away.txt"}},
        {"\t#change: *deleting   Data/old folder/", true, true, {"Data/old folder"}},
        {">f+++++++++ Data/no marker.txt", false, false, {}},
        {"\t#change: >f+++++++++", false, false, {}},
        {"Number of files: 12 (reg: 10, dir: 2)", false, false, {}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.line);
        SnapshotChangeList::ChangeLine change;
        EXPECT_EQ(SnapshotChangeList::parseChangeLine(testCase.line, change), testCase.read);
        if (testCase.read) {
            EXPECT_EQ(change.deletion, testCase.deletion);
            EXPECT_EQ(change.names, testCase.names);
            // A hard link that splits one way only is also kept as a pair.
            const bool pair = testCase.line.find("hf+") != std::string::npos && testCase.names.size() == 2;
            EXPECT_EQ(change.hardLink.has_value(), pair);
            if (pair) {
                EXPECT_EQ(*change.hardLink, (SnapshotChangeList::HardLink{testCase.names[0], testCase.names[1]}));
            }
        }
    }
}

TEST(SnapshotChangeList, ChunksSplitAnywhereGiveTheSameList)
{
    const QByteArray output = "sending incremental file list\n"
                              "\t#change: *deleting   Data/old.txt\n"
                              "\t#change: >f.st...... Data/a.txt\n"
                              "\t#change: .d..t...... Data/\n"
                              "   1,024 100%  1.00MB/s 0:00:00\r\t#change: .f...p..... Data/new\\#012line\n"
                              "\t#change: >f+++++++++ Data/last \xc3\xa9.txt";
    const std::vector<std::string> changed = {"Data/a.txt", "Data", "Data/new\nline", "Data/last \xc3\xa9.txt"};
    for (int split = 0; split <= output.size(); ++split) {
        SCOPED_TRACE(split);
        SnapshotChangeList::Collector collector;
        collector.addChunk(output.left(split));
        collector.addChunk(output.mid(split));
        collector.finish();
        EXPECT_EQ(collector.changedEntries(), changed);
        EXPECT_EQ(collector.deletedEntries(), std::vector<std::string>{"Data/old.txt"});
    }
}

TEST(SnapshotChangeList, TheFirstProblemPrefersAMessageNamingTheCause)
{
    const struct
    {
        QByteArray output;
        std::string problem;
    } cases[] = {
        {"\t#change: >f+++++++++ Data/a.txt\n", ""},
        {"rsync: [sender] opendir \"/s/Data/locked\" failed: Permission denied (13)\n"
         "rsync: [sender] opendir \"/s/Data/other\" failed: Permission denied (13)\n"
         "rsync error: some files/attrs were not transferred (see previous errors) (code 23)\n",
         "rsync: [sender] opendir \"/s/Data/locked\" failed: Permission denied (13)"},
        {"rsync error: some files/attrs were not transferred (code 23)\n"
         "rsync: [generator] cause printed late\n",
         "rsync: [generator] cause printed late"},
        {"rsync error: some files/attrs were not transferred (code 23)\n",
         "rsync error: some files/attrs were not transferred (code 23)"},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.output.toStdString());
        SnapshotChangeList::Collector collector;
        collector.addChunk(testCase.output);
        collector.finish();
        EXPECT_EQ(collector.firstProblem(), testCase.problem);
    }
}

TEST(SnapshotChangeList, TheOutFormatCarriesTheMarkerTheItemisationAndLinkTargets)
{
    EXPECT_EQ(SnapshotChangeList::changeListOutFormat(), QByteArray("--out-format=\t#change: %i %n%L"));
}

TEST(TransferList, NamesAreTracedBackToTheirSourceOrTheRunStaysOrdinary)
{
    const struct
    {
        QStringList sources;
        bool usable;
        std::string name;
        std::string path;
    } cases[] = {
        {{u"/home/a/Data"_s, u"/srv/Photos"_s}, true, "Photos/2026/x.jpg", "/srv/./Photos/2026/x.jpg"},
        {{u"/home/a/Data"_s, u"/srv/Photos"_s}, true, "Data", "/home/a/./Data"},
        {{u"/home/a/Data"_s, u"/srv/Photos"_s}, true, "Other/x", ""},
        {{u"/home/a/Data"_s, u"/srv/Photos"_s}, true, ".", ""},
        {{u"/home/a/notes.txt"_s}, true, "notes.txt", "/home/a/./notes.txt"},
        {{u"/home"_s}, true, "home/a", "/./home/a"},
        {{u"/home/a/Data/"_s}, false, "", ""},
        {{u"/"_s}, false, "", ""},
        {{u"/home/a/Data/"_s, u"/srv/Photos"_s}, false, "", ""},
        {{u"/home/a/Data/"_s, u"/srv/Photos/"_s}, false, "", ""},
        {{u"/home/a/Data"_s, u"/srv/Data"_s}, false, "", ""},
        {{}, false, "", ""},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.sources.join(u' ').toStdString() + " " + testCase.name);
        const std::optional<TransferList> list = TransferList::forSources(testCase.sources);
        ASSERT_EQ(list.has_value(), testCase.usable);
        if (list) {
            EXPECT_EQ(list->sourcePathOf(testCase.name), testCase.path);
        }
    }
}

TEST(TransferList, ListsEachChangedEntryAndEveryFolderWhoseEntriesChangedOnce)
{
    const TransferList list = *TransferList::forSources({u"/home/a/Data"_s});
    const QByteArray text = list.fileList({"Data/sub/new.txt", "Data/sub", "Data/sub/new.txt", "Data/x\ny"},
                                          {"Data/linked/here"}, {"Data/old/gone.txt", "Data/cache/big", "Data/cache"});
    const QList<QByteArray> lines = text.split('\0');
    // "Data/cache" went as a whole (or is now excluded): not brought back.
    EXPECT_EQ(lines,
              QList<QByteArray>({"/home/a/./Data", "/home/a/./Data/linked", "/home/a/./Data/old", "/home/a/./Data/sub",
                                 "/home/a/./Data/sub/new.txt", "/home/a/./Data/x\ny", ""}));
    // A folder given with a "/" would bring all its other entries along.
    EXPECT_FALSE(text.contains(QByteArray("/\0", 2)));
}

TEST_F(CloneTest, LinkingGivesANameTheTargetsInodeInsideTheCloneOnly)
{
    ASSERT_TRUE(HardLinkClone().clone(from(QString()), to(QString())).ok);
    writeFile(to(u"Data/deep/stale.txt"_s), "an older entry of that name");
    const int cloneFd = ::open(QFile::encodeName(to(QString())).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(cloneFd, 0);
    const CloneEdits::Result result = CloneEdits::linkEntries(cloneFd,
                                                              {{"Data/deep/er/new name", "Data/a.txt"},
                                                               {"Data/deep/stale.txt", "Data/a.txt"},
                                                               {"Data/no target", "Data/missing.txt"},
                                                               {"Data/as folder", "Data/deep"},
                                                               {"Data/via link", "Data/link to outside/victim.txt"},
                                                               {"Data/../escaped", "Data/a.txt"}});
    ::close(cloneFd);

    EXPECT_EQ(result.done, 2u);
    EXPECT_EQ(result.failures,
              std::vector<std::string>({"Data/no target", "Data/as folder", "Data/via link", "Data/../escaped"}));
    const ino_t original = statusOf(from(u"Data/a.txt"_s)).st_ino;
    EXPECT_EQ(statusOf(to(u"Data/deep/er/new name"_s)).st_ino, original); // in a read-only folder too
    EXPECT_EQ(statusOf(to(u"Data/deep/stale.txt"_s)).st_ino, original);
    EXPECT_EQ(statusOf(to(u"Data/deep/er"_s)).st_mode & 07777, 0555u);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(u"clone/escaped"_s)));
    EXPECT_EQ(statusOf(m_dir.filePath(u"outside/victim.txt"_s)).st_nlink, 1u);
}

TEST_F(CloneTest, RemovingTakesWholeFoldersOutOfTheCloneOnly)
{
    ASSERT_TRUE(HardLinkClone().clone(from(QString()), to(QString())).ok);
    ::chmod(QFile::encodeName(to(u"Data/deep"_s)).constData(), 0); // unreadable, yet the clone's own
    const int cloneFd = ::open(QFile::encodeName(to(QString())).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(cloneFd, 0);
    const CloneEdits::Result result = CloneEdits::removeEntries(
        cloneFd, {"Data/deep", "Data/link to outside", "Data/pipe", "Data/never there", "Data/../outside"});
    ::close(cloneFd);

    EXPECT_EQ(result.done, 3u);
    EXPECT_EQ(result.failures, std::vector<std::string>{"Data/../outside"});
    EXPECT_FALSE(QFileInfo::exists(to(u"Data/deep"_s)));
    EXPECT_FALSE(QFileInfo(to(u"Data/link to outside"_s)).isSymLink());
    EXPECT_TRUE(QFile::exists(m_dir.filePath(u"outside/victim.txt"_s)));
    EXPECT_TRUE(QFile::exists(from(u"Data/deep/er/b.txt"_s)));
    EXPECT_TRUE(QFile::exists(from(u"Data/deep/a hard link"_s)));
    EXPECT_EQ(statusOf(from(u"Data/deep/er"_s)).st_mode & 07777, 0555u);
    EXPECT_TRUE(QFile::exists(to(u"Data/a.txt"_s)));
}

// A transfer list left by a run that was killed is removed by the next fast
// snapshot; one of a run still going is kept.
TEST(FastSnapshotTransferList, ListsOfEndedRunsAreRemovedAndOthersKept)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const QString ended = QDir::tempPath() + u"/vellumor-transfer-%1-test"_s.arg(child);
    const QString running = QDir::tempPath() + u"/vellumor-transfer-%1-test"_s.arg(::getppid());
    for (const QString &path : {ended, running}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    {
        const std::atomic<bool> stop{false};
        FastSnapshot fast({u"/src"_s, u"/dest/"_s}, {u"/src"_s}, u"/dest/previous"_s, u"/dest/new"_s, &stop);
        EXPECT_TRUE(fast.copyArguments().join(u' ').contains(QDir::tempPath() + u"/vellumor-transfer-"_s));
    }
    EXPECT_FALSE(QFile::exists(ended));
    EXPECT_TRUE(QFile::exists(running));
    QFile::remove(running);
}

} // namespace
