// Fast snapshots through the controller with real rsync and real folders:
// the fast form makes the same snapshot as the ordinary run (compared with
// rsync and by hard-link groups) and leaves every older snapshot as it was;
// it falls back to the ordinary run when it must; a detach failure or a stop
// ends it before a snapshot is named. A clock the test sets; run under
// dbus-run-session like the rest of the suite.
#include "EngineTestDoubles.h"
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"

#include "Clock.h"
#include "SharedSchedule.h"
#include "SnapshotFolders.h"
#include "SnapshotOwnership.h"
#include "UserNotifications.h"
#include "shared/RecordingPoster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <random>
#include <set>
#include <grp.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

// The messages the engine logs, for the lines that say which form ran.
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;
void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// --- Trees by raw byte paths (names may hold newlines and invalid UTF-8) ---

constexpr time_t baseTime = 1'700'000'000;

void setTime(const std::string &path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

void put(const std::string &path, const std::string &content, mode_t mode, time_t seconds)
{
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size()));
    ::close(fd);
    ::chmod(path.c_str(), mode);
    setTime(path, seconds);
}

std::string readAll(const std::string &path)
{
    std::string content;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return "(unreadable)";
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, size_t(n));
    ::close(fd);
    return content;
}

// Every entry below `root`: type, mode, owner, modification time and content
// (or link target), link count aside; and the inode of each.
struct Manifest
{
    // Whether folders and symbolic links are compared by time too (rsync
    // leaves them the time it made them at, which differs between runs).
    bool folderAndLinkTimes = true;
    std::map<std::string, std::string> entries;
    std::map<std::string, ino_t> inodes;
};

void walk(const std::string &root, const std::string &relative, Manifest &manifest)
{
    DIR *dir = ::opendir((root + relative).c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const struct dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string &name : names) {
        const std::string path = relative + "/" + name;
        struct stat status = {};
        ::lstat((root + path).c_str(), &status);
        std::string content;
        if (S_ISREG(status.st_mode))
            content = std::to_string(std::hash<std::string>()(readAll(root + path)));
        else if (S_ISLNK(status.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink((root + path).c_str(), target, sizeof target);
            content.assign(target, size_t(std::max<ssize_t>(n, 0)));
        }
        const bool timed = manifest.folderAndLinkTimes || S_ISREG(status.st_mode);
        const std::string time = timed
            ? std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec)
            : std::string("-");
        manifest.entries[path] = std::to_string(status.st_mode) + " " + std::to_string(status.st_uid) + ":"
            + std::to_string(status.st_gid) + " " + time + " " + content;
        manifest.inodes[path] = status.st_ino;
        if (S_ISDIR(status.st_mode))
            walk(root, path, manifest);
    }
}

Manifest manifestOf(const QString &folder, bool folderAndLinkTimes = true)
{
    Manifest manifest;
    manifest.folderAndLinkTimes = folderAndLinkTimes;
    walk(QFile::encodeName(folder).toStdString(), std::string(), manifest);
    // Each snapshot records its own job; the copies are what is compared.
    manifest.entries.erase("/" + SnapshotRecord::recordFileName().toStdString());
    return manifest;
}

// The paths whose entries differ, with both sides, for a readable failure.
std::string differences(const Manifest &a, const Manifest &b)
{
    std::string text;
    std::set<std::string> paths;
    for (const auto &[path, entry] : a.entries)
        paths.insert(path);
    for (const auto &[path, entry] : b.entries)
        paths.insert(path);
    for (const std::string &path : paths) {
        const auto left = a.entries.find(path);
        const auto right = b.entries.find(path);
        const std::string l = left == a.entries.end() ? "(none)" : left->second;
        const std::string r = right == b.entries.end() ? "(none)" : right->second;
        if (l != r)
            text += path + ": " + l + " | " + r + "\n";
    }
    return text;
}

// The groups of two or more paths that share an inode.
std::set<std::set<std::string>> linkGroups(const Manifest &manifest)
{
    std::map<ino_t, std::set<std::string>> byInode;
    for (const auto &[path, inode] : manifest.inodes)
        byInode[inode].insert(path);
    std::set<std::set<std::string>> groups;
    for (const auto &[inode, paths] : byInode) {
        if (paths.size() > 1)
            groups.insert(paths);
    }
    return groups;
}

// Two snapshots hold the same entries: rsync finds nothing to do between
// them (by checksum, hard links included), and every entry has the same
// type, mode, owner, content and link group. Folder and link times are the
// times rsync made them at (the trees are made a moment before), so they
// are left aside.
void expectSameSnapshot(const QString &a, const QString &b)
{
    QProcess compare;
    compare.start(
        u"rsync"_s,
        {u"-anciH"_s, u"--checksum"_s, u"--exclude=/"_s + SnapshotRecord::recordFileName(), a + u'/', b + u'/'});
    ASSERT_TRUE(compare.waitForFinished(60000));
    EXPECT_EQ(compare.exitCode(), 0);
    QStringList differing = QString::fromUtf8(compare.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    differing.removeIf(
        [](const QString &line) { return line.contains(QRegularExpression(u"^\\.[dL]\\.\\.t\\.+ "_s)); });
    EXPECT_EQ(differing, QStringList());
    const Manifest manifestA = manifestOf(a, false);
    const Manifest manifestB = manifestOf(b, false);
    EXPECT_EQ(differences(manifestA, manifestB), "");
    EXPECT_EQ(linkGroups(manifestA), linkGroups(manifestB));
}

// The source tree: folders, files of random content, modes and times,
// hard-link groups, symbolic links, an empty folder, awkward names.
void makeTree(const std::string &root, std::mt19937 &random)
{
    for (const char *folder : {"", "/d0", "/d0/sub", "/d1", "/d2", "/d3", "/d4", "/empty", "/cache", "/ro"})
        ::mkdir((root + folder).c_str(), 0755);
    const mode_t modes[] = {0644, 0600, 0755, 0444};
    const char *folders[] = {"/d0", "/d0/sub", "/d1", "/d2", "/d3", "/d4"};
    for (int i = 0; i < 60; ++i) {
        const std::string content(random() % 3000, char('a' + random() % 26));
        put(root + folders[i % 6] + "/file " + std::to_string(i), content, modes[random() % 4], baseTime + i);
    }
    put(root + "/new\nline", "newline\n", 0644, baseTime);
    put(root + "/bad \xff\xfe name", "invalid utf-8\n", 0644, baseTime);
    put(root + "/tab\tname", "tab\n", 0644, baseTime);
    put(root + "/cache/big", std::string(5000, 'c'), 0644, baseTime);
    put(root + "/ro/inside", "read-only folder\n", 0644, baseTime);
    put(root + "/d1/link-a", "linked pair\n", 0644, baseTime);
    ::link((root + "/d1/link-a").c_str(), (root + "/d1/link-b").c_str());
    put(root + "/d2/pair-x", "another pair\n", 0644, baseTime);
    ::link((root + "/d2/pair-x").c_str(), (root + "/d3/pair-y").c_str());
    put(root + "/d4/trio 1", "three names\n", 0644, baseTime);
    ::link((root + "/d4/trio 1").c_str(), (root + "/d0/trio 2").c_str());
    ::link((root + "/d4/trio 1").c_str(), (root + "/d1/trio 3").c_str());
    ::symlink("target-one", (root + "/d0/sym").c_str());
    ::symlink("../d1", (root + "/d2/sym2").c_str());
    ::chmod((root + "/ro").c_str(), 0555);
}

// The day's changes between the two snapshots.
void changeTree(const std::string &root, std::mt19937 &random, bool root_user)
{
    put(root + "/d4/new file", "new\n", 0644, baseTime + 500);
    ::mkdir((root + "/new folder").c_str(), 0750);
    put(root + "/new folder/new\nname \xfe", "new in a new folder\n", 0600, baseTime + 501);
    ::mkdir((root + "/empty2").c_str(), 0700);
    for (int i = 0; i < 5; ++i) { // content
        const int n = int(random() % 10);
        put(root + "/d0/file " + std::to_string(n * 6), std::string(random() % 4000, 'z'), 0644, baseTime + 600 + n);
    }
    put(root + "/d1/file 2", std::string(3000, 'q'), 0644, baseTime + 700); // may keep the size
    for (const char *gone : {"/d2/file 3", "/d3/file 4", "/d4/file 5"})
        ::unlink((root + gone).c_str());
    ::rename((root + "/d2/file 9").c_str(), (root + "/d3/renamed 9").c_str());
    ::rename((root + "/d0/sub/file 7").c_str(), (root + "/d0/sub/renamed with space").c_str());
    for (const char *modeOnly : {"/d3/file 10", "/d4/file 11", "/new\nline", "/ro/inside"})
        ::chmod((root + modeOnly).c_str(), 0640);
    ::chmod((root + "/d4").c_str(), 0700);
    for (const char *timeOnly : {"/d0/file 12", "/d0/sub/file 13", "/tab\tname"})
        setTime(root + timeOnly, baseTime + 900);
    if (root_user) {
        for (const char *ownerOnly : {"/d2/file 15", "/bad \xff\xfe name", "/d1/link-a"})
            ::lchown((root + ownerOnly).c_str(), 4242, 4343);
    }
    ::link((root + "/d3/file 16").c_str(), (root + "/d4/new link to 16").c_str()); // new group
    ::link((root + "/d0/trio 2").c_str(), (root + "/d2/trio 4").c_str());          // a group grows
    // A group broken by a copy alike in all but the inode, and by new content.
    const std::string pairB = root + "/d1/link-b";
    ::unlink(pairB.c_str());
    put(pairB, "linked pair\n", 0644, baseTime);
    put(root + "/d3/pair-y", "no longer the pair\n", 0644, baseTime + 950);
    ::unlink((root + "/d0/sym").c_str());
    ::symlink("target-two", (root + "/d0/sym").c_str());
    ::mkdir((root + "/d1/.rsync-partial").c_str(), 0700); // rsync's own, never copied
    put(root + "/d1/.rsync-partial/stray", "stray\n", 0600, baseTime);
}

class FastSnapshotRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(u"Data"_s);
        g_log.clear();
        g_previousHandler = qInstallMessageHandler(recordMessage);
    }
    void TearDown() override
    {
        qInstallMessageHandler(g_previousHandler);
        // Names that are not UTF-8 do not survive QDir's removal.
        QProcess::execute(u"rm"_s, {u"-rf"_s, m_dir.path()});
    }

    std::unique_ptr<MFTaskAppDelegate> makeController(const QString &dest, bool fast, const QString &tools = {})
    {
        MFTaskAppServices services = realToolServices(m_clock, m_noPrivileges, m_schedule, m_notifier, tools);
        services.volumeIsMounted = [](const QString &) { return true; };
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        recordRunEnds(*controller, m_ends);
        controller->backupSources = {m_source};
        controller->backupDest = dest;
        controller->snapshotsToKeep = 10;
        controller->fastSnapshotsRequested = fast;
        return controller;
    }

    QPair<Outcome, QString> snapshotRun(MFTaskAppDelegate &controller, int hour,
                                        const std::function<void()> &onEachTurn = {})
    {
        m_view.reset();
        m_view.modeRow = m_modeRow;
        m_clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(hour, 0), Qt::UTC));
        const qsizetype before = m_ends.size();
        controller.startBackup();
        processEventsUntil([&] {
            if (onEachTurn)
                onEachTurn();
            return m_ends.size() > before && m_view.title == u"Backup"_s;
        });
        return m_ends.value(before, {Outcome::Failed, u"the run never ended"_s});
    }

    static QString snapshotName(int hour) { return u"VLM Snapshot 06-12-2026 Sun %1-00 PM"_s.arg(hour); }

    static QStringList entriesOf(const QString &dest)
    {
        return QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    bool logged(const QString &text) const
    {
        return std::any_of(g_log.cbegin(), g_log.cend(), [&](const QString &line) { return line.contains(text); });
    }

    // The bundle's tools, with rsync replaced by `script` (run by sh; $REAL
    // is the bundle's rsync).
    QString toolsWithRsync(const QByteArray &script)
    {
        const QString tools = m_dir.filePath(u"tools"_s);
        QDir().mkpath(tools);
        const QString stage = QStringLiteral(VELLUMOR_STAGE) + u"/libexec/vellumor"_s;
        for (const QString &name : QDir(stage).entryList(QDir::Files))
            QFile::link(stage + u'/' + name, tools + u'/' + name);
        QFile::remove(tools + u"/rsync"_s);
        QFile file(tools + u"/rsync"_s);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nREAL='" + QFile::encodeName(stage) + "/rsync'\n" + script);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return tools;
    }

    QTemporaryDir m_dir;
    QString m_source;
    int m_modeRow = 1; // the mode snapshotRun() starts in
    RecordingView m_view;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC)};
    NoPrivileges m_noPrivileges;
    RecordingPoster m_poster;
    SharedSchedule m_schedule{ScheduleFile(m_dir.filePath(u"support/Scheduled Backups.xml"_s), m_clock), m_poster};
    RecordingNotifier m_notifier;
    QList<QPair<Outcome, QString>> m_ends;
};

TEST_F(FastSnapshotRunTest, TheFastFormMakesTheOrdinarySnapshotAndLeavesOlderSnapshotsAsTheyWere)
{
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        QDir(m_source).removeRecursively();
        std::mt19937 random(seed);
        const std::string source = QFile::encodeName(m_source).toStdString();
        makeTree(source, random);
        const QString destA = m_dir.filePath(u"A%1"_s.arg(seed));
        const QString destB = m_dir.filePath(u"B%1"_s.arg(seed));
        auto ordinary = makeController(destA, false);
        auto fast = makeController(destB, true);
        ASSERT_EQ(snapshotRun(*ordinary, 21).first, Outcome::Completed);
        ASSERT_EQ(snapshotRun(*fast, 21).first, Outcome::Completed); // no previous snapshot: ordinary
        const QString firstA = destA + u'/' + snapshotName(21);
        const QString firstB = destB + u'/' + snapshotName(21);
        // A partial file an earlier copy left behind; a new snapshot never
        // holds one.
        for (const QString &first : {firstA, firstB}) {
            QDir().mkpath(first + u"/Data/d0/.rsync-partial"_s);
            put(QFile::encodeName(first).toStdString() + "/Data/d0/.rsync-partial/file 0", "part", 0600, baseTime);
        }
        const Manifest beforeA = manifestOf(firstA);
        const Manifest beforeB = manifestOf(firstB);
        ASSERT_EQ(differences(manifestOf(firstA, false), manifestOf(firstB, false)), "");

        changeTree(source, random, ::geteuid() == 0);
        for (auto *controller : {ordinary.get(), fast.get()})
            controller->excludedFiles = {m_source + u"/cache"_s};
        g_log.clear();
        ASSERT_EQ(snapshotRun(*ordinary, 22).first, Outcome::Completed);
        EXPECT_FALSE(logged(u"fast snapshot: clone"_s));
        ASSERT_EQ(snapshotRun(*fast, 22).first, Outcome::Completed);
        EXPECT_TRUE(logged(u"fast snapshot: clone"_s));
        EXPECT_TRUE(logged(u"fast snapshot: prune"_s));
        EXPECT_TRUE(logged(u"fast snapshot: copy"_s));

        const QString secondA = destA + u'/' + snapshotName(22);
        const QString secondB = destB + u'/' + snapshotName(22);
        expectSameSnapshot(secondA, secondB);
        const Manifest afterA = manifestOf(secondA, false);
        const Manifest afterB = manifestOf(secondB, false);
        EXPECT_FALSE(afterB.entries.count("/Data/cache")); // newly excluded
        EXPECT_FALSE(afterB.entries.count("/Data/d0/.rsync-partial"));
        EXPECT_FALSE(afterB.entries.count("/Data/d1/.rsync-partial"));
        EXPECT_TRUE(afterB.entries.count("/Data/empty2"));

        // Older snapshots: every byte, mode, owner and time as before.
        EXPECT_EQ(differences(manifestOf(firstA), beforeA), "");
        EXPECT_EQ(differences(manifestOf(firstB), beforeB), "");
        // The clone shares what did not change and detached what did.
        const Manifest firstBNow = manifestOf(firstB);
        EXPECT_EQ(afterB.inodes.at("/Data/d1/file 14"), firstBNow.inodes.at("/Data/d1/file 14"));
        EXPECT_NE(afterB.inodes.at("/Data/new\nline"), firstBNow.inodes.at("/Data/new\nline"));
        EXPECT_NE(afterB.inodes.at("/Data/ro/inside"), firstBNow.inodes.at("/Data/ro/inside"));
        EXPECT_EQ(entriesOf(destB).filter(QRegularExpression(u"^VLM Snapshot"_s)),
                  QStringList({snapshotName(21), snapshotName(22)}));
    }
}

// Jobs of several sources, and a source the job no longer has.
TEST_F(FastSnapshotRunTest, JobsOfSeveralSourcesGiveTheOrdinarySnapshot)
{
    const QString other = m_dir.filePath(u"Other"_s);
    const struct
    {
        const char *label;
        QStringList firstSources;
        QStringList secondSources;
    } cases[] = {
        {"a source left the job", {m_source, other}, {m_source}},
        {"two sources", {m_source, other}, {m_source, other}},
    };
    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ++round;
        QProcess::execute(u"rm"_s, {u"-rf"_s, m_source, other});
        std::mt19937 random(100 + round);
        const std::string source = QFile::encodeName(m_source).toStdString();
        makeTree(source, random);
        QDir().mkpath(other + u"/inner"_s);
        put(QFile::encodeName(other).toStdString() + "/inner/o.txt", "other\n", 0644, baseTime);
        const QString destA = m_dir.filePath(u"shapeA%1"_s.arg(round));
        const QString destB = m_dir.filePath(u"shapeB%1"_s.arg(round));
        auto ordinary = makeController(destA, false);
        auto fast = makeController(destB, true);
        for (auto *controller : {ordinary.get(), fast.get()})
            controller->backupSources = c.firstSources;
        ASSERT_EQ(snapshotRun(*ordinary, 21).first, Outcome::Completed);
        ASSERT_EQ(snapshotRun(*fast, 21).first, Outcome::Completed);
        const Manifest firstB = manifestOf(destB + u'/' + snapshotName(21));

        changeTree(source, random, ::geteuid() == 0);
        ::chmod(QFile::encodeName(m_source).constData(), 0750);
        for (auto *controller : {ordinary.get(), fast.get()})
            controller->backupSources = c.secondSources;
        g_log.clear();
        ASSERT_EQ(snapshotRun(*ordinary, 22).first, Outcome::Completed);
        ASSERT_EQ(snapshotRun(*fast, 22).first, Outcome::Completed);
        EXPECT_TRUE(logged(u"fast snapshot: clone"_s));

        const QString secondA = destA + u'/' + snapshotName(22);
        const QString secondB = destB + u'/' + snapshotName(22);
        expectSameSnapshot(secondA, secondB);
        EXPECT_EQ(statusOf(secondB).st_mode & 07777, statusOf(secondA).st_mode & 07777);
        EXPECT_EQ(differences(manifestOf(destB + u'/' + snapshotName(21)), firstB), "");
    }
}

// A source entry whose mode changes after the comparison, while the copy
// runs, is not in the copy's list: the inode the older snapshot shares keeps
// its mode.
TEST_F(FastSnapshotRunTest, AChangeAfterTheComparisonNeverReachesAnOlderSnapshot)
{
    std::mt19937 random(17);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    const QString first = dest + u'/' + snapshotName(21);
    const Manifest before = manifestOf(first);
    put(QFile::encodeName(m_source).toStdString() + "/d4/today.txt", "today\n", 0644, baseTime + 1000);

    const QByteArray late = QFile::encodeName(m_source + u"/d0/file 6"_s);
    const QString tools = toolsWithRsync("case \"$*\" in *--files-from=*) chmod 0604 '" + late
                                         + "';; esac\n"
                                           "exec \"$REAL\" \"$@\"\n");
    ASSERT_EQ(snapshotRun(*makeController(dest, true, tools), 22).first, Outcome::Completed);
    EXPECT_EQ(statusOf(m_source + u"/d0/file 6"_s).st_mode & 07777, 0604u);
    EXPECT_EQ(differences(manifestOf(first), before), "");
    const Manifest second = manifestOf(dest + u'/' + snapshotName(22));
    EXPECT_TRUE(second.entries.count("/Data/d4/today.txt"));
    EXPECT_EQ(second.inodes.at("/Data/d0/file 6"), before.inodes.at("/Data/d0/file 6"));
}

// An entry the clone cannot link (here an immutable file; for an account
// without root's rights, any file of another account) is copied by rsync.
TEST_F(FastSnapshotRunTest, AnEntryTheCloneLeavesOutIsCopied)
{
    std::mt19937 random(23);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    const QString pinned = dest + u'/' + snapshotName(21) + u"/Data/d0/file 0"_s;
    if (::geteuid() != 0 || QProcess::execute(u"chattr"_s, {u"+i"_s, pinned}) != 0)
        GTEST_SKIP() << "an immutable file needs root and a file system that keeps the flag";
    const auto unpin = qScopeGuard([&] { QProcess::execute(u"chattr"_s, {u"-i"_s, pinned}); });
    const Manifest before = manifestOf(dest + u'/' + snapshotName(21));

    g_log.clear();
    ASSERT_EQ(snapshotRun(*makeController(dest, true), 22).first, Outcome::Completed);
    EXPECT_TRUE(logged(u"1 left for rsync"_s));
    // The same entries (folder times aside: the tree was made a moment ago).
    EXPECT_EQ(differences(manifestOf(dest + u'/' + snapshotName(21), false),
                          manifestOf(dest + u'/' + snapshotName(22), false)),
              "");
    EXPECT_EQ(differences(manifestOf(dest + u'/' + snapshotName(21)), before), "");
}

TEST_F(FastSnapshotRunTest, ALeftoverWorkingFolderOrNoPreviousSnapshotMakesTheOrdinaryRun)
{
    std::mt19937 random(7);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    auto controller = makeController(dest, true);
    ASSERT_EQ(snapshotRun(*controller, 21).first, Outcome::Completed);
    EXPECT_TRUE(logged(u"fast snapshot: ordinary run, as there is no complete previous snapshot"_s));
    EXPECT_FALSE(logged(u"fast snapshot: clone"_s));

    // An earlier run's working folder, already holding part of the job.
    const QString leftover = dest + u'/'
        + SnapshotFolders::workingFolderName(QDateTime(QDate(2026, 12, 6), QTime(21, 30), Qt::UTC), QLocale());
    QDir().mkpath(leftover + u"/Data"_s);
    g_log.clear();
    ASSERT_EQ(snapshotRun(*controller, 22).first, Outcome::Completed);
    EXPECT_TRUE(logged(u"fast snapshot: ordinary run, as an earlier run's working folder is completed"_s));
    EXPECT_FALSE(logged(u"fast snapshot: clone"_s));
    EXPECT_FALSE(QFileInfo::exists(leftover));

    // With both gone, the next run is fast.
    g_log.clear();
    ASSERT_EQ(snapshotRun(*controller, 23).first, Outcome::Completed);
    EXPECT_TRUE(logged(u"fast snapshot: clone"_s));
    const Manifest previous = manifestOf(dest + u'/' + snapshotName(22));
    const Manifest newest = manifestOf(dest + u'/' + snapshotName(23));
    EXPECT_EQ(differences(previous, newest), "");
}

TEST_F(FastSnapshotRunTest, AnEntryThatCannotBeDetachedEndsTheRunBeforeTheCopy)
{
    std::mt19937 random(11);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    const QString first = dest + u'/' + snapshotName(21);
    ::chmod(QFile::encodeName(m_source + u"/d0/file 0"_s).constData(), 0600);

    // The dry run's list also names an entry no folder can hold (its name is
    // too long), so it cannot be unlinked; a copy would leave a mark.
    const QString copyMark = m_dir.filePath(u"copied"_s);
    const QByteArray longName(300, 'n');
    const QString tools
        = toolsWithRsync("case \"$1\" in --dry-run)\n  \"$REAL\" \"$@\"; status=$?\n  printf '\\t#change: "
                         ".f...p..... Data/"
                         + longName + "\\n'\n  exit $status;;\nesac\ntouch '" + QFile::encodeName(copyMark)
                         + "'\nexec \"$REAL\" \"$@\"\n");
    const Manifest before = manifestOf(first);
    const QPair<Outcome, QString> end = snapshotRun(*makeController(dest, true, tools), 22);
    EXPECT_EQ(end.first, Outcome::Failed);
    EXPECT_TRUE(end.second.contains(u"Cannot detach Data/"_s)) << end.second.toStdString();
    EXPECT_FALSE(QFileInfo::exists(copyMark));
    EXPECT_EQ(differences(manifestOf(first), before), "");
    const QStringList entries = entriesOf(dest);
    EXPECT_EQ(entries.filter(QRegularExpression(u"^VLM Snapshot"_s)), QStringList{snapshotName(21)});
}

// A comparison that could not read some entries may have left changes and
// deletions out of the change list: the copy still runs, but its folder never
// becomes a snapshot, and the run says why.
TEST_F(FastSnapshotRunTest, AComparisonThatCouldNotReadEverythingMakesNoSnapshot)
{
    std::mt19937 random(19);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    const QString first = dest + u'/' + snapshotName(21);
    const Manifest before = manifestOf(first);
    put(QFile::encodeName(m_source).toStdString() + "/d4/today.txt", "today\n", 0644, baseTime + 1000);

    const QString tools
        = toolsWithRsync("case \"$1\" in --dry-run)\n  \"$REAL\" \"$@\"\n"
                         "  echo 'rsync: [sender] opendir \"/src/Data/locked\" failed: Permission denied (13)' >&2\n"
                         "  exit 23;;\nesac\nexec \"$REAL\" \"$@\"\n");
    const QPair<Outcome, QString> end = snapshotRun(*makeController(dest, true, tools), 22);
    EXPECT_NE(end.first, Outcome::Completed);
    EXPECT_TRUE(end.second.contains(u"opendir \"/src/Data/locked\" failed"_s)) << end.second.toStdString();
    EXPECT_EQ(entriesOf(dest).filter(QRegularExpression(u"^VLM Snapshot"_s)), QStringList{snapshotName(21)});
    EXPECT_EQ(differences(manifestOf(first), before), "");

    // The next run completes the working folder the ordinary way.
    g_log.clear();
    ASSERT_EQ(snapshotRun(*makeController(dest, true), 23).first, Outcome::Completed);
    EXPECT_TRUE(logged(u"fast snapshot: ordinary run, as an earlier run's working folder is completed"_s));
    EXPECT_TRUE(manifestOf(dest + u'/' + snapshotName(23)).entries.count("/Data/d4/today.txt"));
}

TEST_F(FastSnapshotRunTest, AStopWhileCloningLeavesNoFolderUnderASnapshotName)
{
    std::mt19937 random(13);
    makeTree(QFile::encodeName(m_source).toStdString(), random);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    const QString first = dest + u'/' + snapshotName(21);
    const Manifest before = manifestOf(first);

    // The dry run (beside which the clone runs) says it started, then waits
    // until it is stopped.
    const QString started = m_dir.filePath(u"started"_s);
    const QString tools = toolsWithRsync("case \"$1\" in --dry-run)\n  touch '" + QFile::encodeName(started)
                                         + "'\n  exec sleep 600;;\nesac\nexec \"$REAL\" \"$@\"\n");
    auto controller = makeController(dest, true, tools);
    bool stopped = false;
    const QPair<Outcome, QString> end = snapshotRun(*controller, 22, [&] {
        if (!stopped && QFileInfo::exists(started)) {
            stopped = true;
            controller->startButtonClicked();
        }
    });
    EXPECT_TRUE(stopped);
    EXPECT_NE(end.first, Outcome::Completed);
    const QStringList entries = entriesOf(dest);
    EXPECT_EQ(entries.filter(QRegularExpression(u"^VLM Snapshot"_s)), QStringList{snapshotName(21)});
    EXPECT_EQ(differences(manifestOf(first), before), "");
}

} // namespace

// A copy cut off by a full disk leaves its partial file behind; once that
// file has left the source, the next run of every form completes on the
// same small disk, and nothing of the cut-off copy is left.
TEST_F(FastSnapshotRunTest, ACopyThatFilledTheDiskDoesNotBlockTheNextRun)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const struct
    {
        const char *label;
        int modeRow;
        bool fast;
    } forms[] = {{"snapshot", 1, false}, {"fast", 1, true}, {"sync", 0, false}};
    const std::string source = QFile::encodeName(m_source).toStdString();
    for (const auto &form : forms) {
        SCOPED_TRACE(form.label);
        const QString small = m_dir.filePath(QString::fromLatin1(form.label));
        QDir().mkpath(small);
        if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=4m") != 0)
            GTEST_SKIP() << "cannot mount tmpfs here";
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(small).constData(), MNT_DETACH); });
        QProcess::execute(u"rm"_s, {u"-rf"_s, m_source});
        ::mkdir(source.c_str(), 0755);
        ::mkdir((source + "/docs").c_str(), 0755);
        put(source + "/docs/a.txt", "first\n", 0644, baseTime);
        m_modeRow = form.modeRow;
        auto controller = makeController(small, form.fast);
        ASSERT_EQ(snapshotRun(*controller, 20).first, Outcome::Completed);
        put(source + "/docs/b.txt", "second\n", 0644, baseTime);
        ASSERT_EQ(snapshotRun(*controller, 21).first, Outcome::Completed);

        put(source + "/docs/too big.bin", std::string(6 << 20, 'x'), 0644, baseTime);
        ASSERT_EQ(snapshotRun(*controller, 22).first, Outcome::OutOfSpace);
        ::unlink((source + "/docs/too big.bin").c_str());
        put(source + "/docs/today.txt", std::string(256 << 10, 't'), 0644, baseTime);
        const QPair<Outcome, QString> next = snapshotRun(*controller, 23);
        EXPECT_EQ(next.first, Outcome::Completed) << next.second.toStdString();

        QProcess find;
        find.start(u"find"_s, {small, u"-name"_s, u".rsync-partial"_s});
        ASSERT_TRUE(find.waitForFinished());
        EXPECT_EQ(QString::fromLocal8Bit(find.readAllStandardOutput()), QString());
    }
}

// A member of the group copies with root's rights, so the last snapshot may
// hold a folder only root can read, which the clone (made with the member's
// own rights) cannot. The run goes over to the ordinary copy, says why once,
// and makes the snapshot. Run as root, the test repeats itself as the
// account nobody in a process of its own, as a member of the group vellumor
// with its set-user-ID rsync (root:vellumor 4750).
TEST_F(FastSnapshotRunTest, AFolderTheCloneCannotReadGivesTheOrdinaryCopy)
{
    const char *variable = "VELLUMOR_TEST_UNREADABLE_SNAPSHOT";
    if (const QString shared = qEnvironmentVariable(variable); !shared.isEmpty()) {
        m_source = shared + u"/Data"_s;
        const QPair<Outcome, QString> end
            = snapshotRun(*makeController(shared + u"/Backup"_s, true, shared + u"/tools"_s), 22);
        EXPECT_EQ(end.first, Outcome::Completed) << end.second.toStdString();
        const QStringList because = g_log.filter(u"fast snapshot: ordinary run, as"_s);
        ASSERT_EQ(because.size(), 1) << g_log.join(u'\n').toStdString();
        EXPECT_TRUE(because.first().endsWith(u"cannot hold its folder Data/locked: permission denied"_s))
            << because.first().toStdString();
        return;
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "a folder only root can read is made by root";
    const std::string source = QFile::encodeName(m_source).toStdString();
    ::mkdir(source.c_str(), 0755);
    ::mkdir((source + "/locked").c_str(), 0755);
    put(source + "/locked/inside.txt", "inside\n", 0644, baseTime);
    put(source + "/open.txt", "open\n", 0644, baseTime);
    const QString dest = m_dir.filePath(u"Backup"_s);
    ASSERT_EQ(snapshotRun(*makeController(dest, false), 21).first, Outcome::Completed);
    constexpr uid_t nobody = 65534;
    ASSERT_EQ(QProcess::execute(u"chown"_s, {u"-R"_s, u"65534:65534"_s, m_dir.path()}), 0);
    const QByteArray locked = QFile::encodeName(dest + u'/' + snapshotName(21) + u"/Data/locked"_s);
    ASSERT_EQ(::chown(locked.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    put(source + "/today.txt", "today\n", 0644, baseTime + 100);
    ::chown((source + "/today.txt").c_str(), nobody, nobody);
    const QString tools = m_dir.filePath(u"tools"_s);
    QDir().mkpath(tools);
    const QString stage = QStringLiteral(VELLUMOR_STAGE) + u"/libexec/vellumor"_s;
    for (const QString &name : QDir(stage).entryList(QDir::Files))
        QFile::link(stage + u'/' + name, tools + u'/' + name);
    QFile::remove(tools + u"/rsync"_s);
    ASSERT_TRUE(QFile::copy(stage + u"/rsync"_s, tools + u"/rsync"_s));
    // Root rights are honoured for the group vellumor only. Test processes
    // create and delete it one at a time, under this lock.
    const int groupLock = ::open("/tmp/vellumor-group-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(groupLock, 0);
    ASSERT_EQ(::flock(groupLock, LOCK_EX), 0);
    const bool groupExisted = ::getgrnam("vellumor") != nullptr;
    const auto groupBack = qScopeGuard([&] {
        if (!groupExisted && ::getgrnam("vellumor"))
            QProcess::execute(u"/usr/sbin/groupdel"_s, {u"vellumor"_s});
        ::close(groupLock);
    });
    if (!groupExisted) {
        ASSERT_EQ(QProcess::execute(u"/usr/sbin/groupadd"_s, {u"--system"_s, u"vellumor"_s}), 0);
    }
    const struct group *entry = ::getgrnam("vellumor");
    ASSERT_NE(entry, nullptr);
    const gid_t member = entry->gr_gid;
    ASSERT_EQ(::chown(QFile::encodeName(tools + u"/rsync"_s).constData(), 0, member), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tools + u"/rsync"_s).constData(), 04750), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const QByteArray shared = QFile::encodeName(m_dir.path());
        ::setenv(variable, shared.constData(), 1);
        ::setenv("HOME", shared.constData(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
        const std::string filter = "--gtest_filter=FastSnapshotRunTest.AFolderTheCloneCannotReadGivesTheOrdinaryCopy";
        char *arguments[]
            = {const_cast<char *>("fast_snapshot_run_tests"), const_cast<char *>(filter.c_str()), nullptr};
        if (::setgroups(1, &member) == 0 && ::setresgid(nobody, nobody, nobody) == 0
            && ::setresuid(nobody, nobody, nobody) == 0)
            ::execv("/proc/self/exe", arguments);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QString second = dest + u'/' + snapshotName(22);
    EXPECT_TRUE(QFileInfo::exists(second + u"/Data/today.txt"_s));
    EXPECT_TRUE(QFileInfo::exists(second + u"/Data/locked/inside.txt"_s));
    EXPECT_EQ(statusOf(QFile::decodeName(locked)).st_mode & 07777, 0u);
    EXPECT_EQ(entriesOf(dest).filter(QRegularExpression(u"incomplete|removing"_s)), QStringList());
}

// An ACL in the kernel's form ("system.posix_acl_access" and "_default"):
// version 2, then (tag, permissions, id) entries in tag order, little endian
// as on the machines this runs on; one named user (tag 2) gives `uid` read.
QByteArray aclGivingRead(uint32_t uid)
{
    QByteArray acl;
    const auto append = [&acl](auto value) { acl.append(reinterpret_cast<const char *>(&value), sizeof value); };
    append(uint32_t(2));
    const uint32_t none = 0xffffffff;
    for (const auto &[tag, permissions, id] : {std::tuple{uint16_t(0x01), uint16_t(7), none},
                                               {uint16_t(0x02), uint16_t(4), uid},
                                               {uint16_t(0x04), uint16_t(5), none},
                                               {uint16_t(0x10), uint16_t(5), none},
                                               {uint16_t(0x20), uint16_t(0), none}}) {
        append(tag);
        append(permissions);
        append(id);
    }
    return acl;
}

QByteArray attributeOf(const std::string &path, const char *name)
{
    char value[256];
    const ssize_t size = ::lgetxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? QByteArray("(none)") : QByteArray(value, size);
}

// ACLs, extended attributes (a file capability among them) and the holes of
// a sparse file reach the copy in every form on a disk that holds them.
TEST_F(FastSnapshotRunTest, ACLsExtendedAttributesAndHolesAreKept)
{
    const std::string source = QFile::encodeName(m_source).toStdString();
    ::mkdir(source.c_str(), 0755);
    ::mkdir((source + "/team").c_str(), 0770);
    put(source + "/shared.txt", "shared\n", 0640, baseTime);
    put(source + "/tool", "#!/bin/sh\n", 0755, baseTime);
    const QByteArray acl = aclGivingRead(65534);
    struct Attribute
    {
        std::string path;
        const char *name;
        QByteArray value;
    };
    std::vector<Attribute> attributes = {
        {"/shared.txt", "system.posix_acl_access", acl},
        {"/team", "system.posix_acl_default", acl},
        {"/team", "user.purpose", "the team's folder"},
        {"/tool", "user.origin", "built here"},
    };
    if (::geteuid() == 0) // cap_net_raw, effective: a file capability as setcap writes it
        attributes.push_back(
            {"/tool", "security.capability", QByteArray::fromHex("0100000200200000000000000000000000000000")});
    for (const Attribute &attribute : attributes)
        ASSERT_EQ(::lsetxattr((source + attribute.path).c_str(), attribute.name, attribute.value.constData(),
                              size_t(attribute.value.size()), 0),
                  0)
            << attribute.path << " " << attribute.name << ": " << std::strerror(errno);
    const int sparse = ::open((source + "/sparse.img").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::pwrite(sparse, "end", 3, 64 << 20), 3);
    ::close(sparse);

    const struct
    {
        const char *label;
        int modeRow;
        bool fast;
    } forms[] = {{"sync", 0, false}, {"snapshot", 1, false}, {"fast", 1, true}};
    for (const auto &form : forms) {
        SCOPED_TRACE(form.label);
        const QString dest = m_dir.filePath(QString::fromLatin1(form.label));
        m_modeRow = form.modeRow;
        auto controller = makeController(dest, form.fast);
        ASSERT_EQ(snapshotRun(*controller, 21).first, Outcome::Completed);
        QString copy = dest + u"/Data"_s;
        if (form.modeRow == 1) {
            put(source + "/today.txt", "today\n", 0644, baseTime + 100);
            ASSERT_EQ(snapshotRun(*controller, 22).first, Outcome::Completed);
            copy = dest + u'/' + snapshotName(22) + u"/Data"_s;
            ::unlink((source + "/today.txt").c_str());
        }
        const std::string copied = QFile::encodeName(copy).toStdString();
        for (const Attribute &attribute : attributes)
            EXPECT_EQ(attributeOf(copied + attribute.path, attribute.name), attribute.value)
                << attribute.path << " " << attribute.name;
        EXPECT_LT(statusOf(copy + u"/sparse.img"_s).st_blocks * 512, 1 << 20);
    }
}
