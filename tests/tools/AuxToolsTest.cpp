// The bundle's auxiliary tools, run as the backup run runs them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "ToolTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QString tool(const char *name)
{
    return QStringLiteral(VELLUMOR_STAGE "/libexec/vellumor/") + QLatin1String(name);
}

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

ToolRun run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

TEST(Dropcount, RemovesTheTreeOneLinePerItemAndNeverFollowsLinksOut)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    touch(outside + QStringLiteral("/keep me.txt"));
    const QString tree = dir.filePath(QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    touch(tree + QStringLiteral("/a/b/deep.txt"));
    touch(tree + QStringLiteral("/new\nline"));
    touch(tree + QStringLiteral("/-dash"));
    QDir().mkpath(tree + QStringLiteral("/empty"));
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/link to outside")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/keep me.txt"), tree + QStringLiteral("/a/file link")));

    const ToolRun result = run(tool("dropcount"), {QStringLiteral("-rfv"), tree});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/keep me.txt")));
    // 3 files, 2 links, 4 folders (a, a/b, empty, the tree itself).
    EXPECT_EQ(result.out.count(u'\n'), 9) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QStringLiteral("new\\012line"))) << "a newline never splits an item's line";
}

TEST(Dropcount, ALinkGivenAsThePathIsRemovedNotFollowed)
{
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("target/file")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("target")), dir.filePath(QStringLiteral("link"))));
    EXPECT_EQ(run(tool("dropcount"), {QStringLiteral("-rfv"), dir.filePath(QStringLiteral("link"))}).status, 0);
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("link"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("target/file"))));
}

TEST(Dropcount, CommandLines)
{
    QTemporaryDir dir;
    const struct
    {
        const char *name;
        QStringList arguments;
        int status;
    } cases[] = {
        {"missing path with -f", {QStringLiteral("-rfv"), dir.filePath(QStringLiteral("gone"))}, 0},
        {"missing path without -f", {QStringLiteral("-rv"), dir.filePath(QStringLiteral("gone"))}, 1},
        {"no path", {QStringLiteral("-rfv")}, 64},
        {"unknown flag", {QStringLiteral("-z"), dir.path()}, 64},
        {"refuses the root", {QStringLiteral("-rfv"), QStringLiteral("/")}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(tool("dropcount"), c.arguments).status, c.status);
    }
}

TEST(Dropcount, RefusesAFinalDotOrDotDotAsRmDoes)
{
    QTemporaryDir dir;
    const QString parent = dir.filePath(QStringLiteral("parent"));
    for (const char *path : {"/target/file", "/sibling/file", "/file"})
        touch(parent + QLatin1String(path));
    for (const char *suffix : {"/target/..", "/target/../", "/target/.", "/target/./", "/."}) {
        SCOPED_TRACE(suffix);
        const ToolRun result = run(tool("dropcount"), {QStringLiteral("-rfv"), parent + QLatin1String(suffix)});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.contains(QStringLiteral("refusing"))) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        for (const char *path : {"/target/file", "/sibling/file", "/file"})
            EXPECT_TRUE(QFileInfo::exists(parent + QLatin1String(path))) << path;
    }
    EXPECT_EQ(run(tool("dropcount"), {QStringLiteral("-rf"), parent + QStringLiteral("/target")}).status, 0)
        << "the same folder named plainly goes";
    EXPECT_TRUE(QFileInfo::exists(parent + QStringLiteral("/sibling/file")));
}

TEST(Dropcount, StaysOnItsFileSystemAndSaysWhatItLeft)
{
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("tree"));
    touch(tree + QStringLiteral("/a/file"));
    QDir().mkpath(tree + QStringLiteral("/a/mounted"));
    const ToolTest::TmpfsMount mount(tree + QStringLiteral("/a/mounted"));
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    touch(tree + QStringLiteral("/a/mounted/keep"));

    const ToolRun result = run(tool("dropcount"), {QStringLiteral("-rfv"), tree});
    EXPECT_EQ(result.status, 1) << "something could not be removed";
    EXPECT_TRUE(result.err.contains(QStringLiteral("different file system"))) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(tree + QStringLiteral("/a/mounted/keep")));
    EXPECT_FALSE(QFileInfo::exists(tree + QStringLiteral("/a/file")));
}

TEST(Dropcount, RemovesATreeDeeperThanTheOpenFileLimit)
{
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("deep"));
    QDir().mkpath(tree);
    constexpr int depth = 300;
    ASSERT_TRUE(ToolTest::makeDeepTree(tree, depth, 1));
    const ToolTest::Run result = ToolTest::runWithFileLimit(tool("dropcount"), {QStringLiteral("-rfv"), tree}, 32);
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_EQ(result.out.count(u'\n'), depth + 2) << "every folder, the file and the top";
}

TEST(VolumeToolStandIns, AcceptExactlyTheirCommandLines)
{
    QTemporaryDir dir;
    const struct
    {
        const char *program;
        QStringList arguments;
        int status;
    } cases[] = {
        {"mount",
         {QStringLiteral("-o"), QStringLiteral("owners"), QStringLiteral("-u"), QStringLiteral("/dev/sdb1")},
         0},
        {"mount",
         {QStringLiteral("-o"), QStringLiteral("noowners"), QStringLiteral("-u"), QStringLiteral("/dev/sdb1")},
         0},
        {"mount", {QStringLiteral("-o"), QStringLiteral("rw"), QStringLiteral("-u"), QStringLiteral("/dev/sdb1")}, 64},
        {"mount", {}, 64},
        {"bless", {QStringLiteral("-folder"), dir.path()}, 0},
        {"bless", {QStringLiteral("-folder"), dir.filePath(QStringLiteral("missing"))}, 1},
        {"bless", {QStringLiteral("-file"), dir.path()}, 64},
        {"diskutil", {QStringLiteral("list")}, 64},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.arguments.join(u' ').toStdString());
        EXPECT_EQ(run(tool(c.program), c.arguments).status, c.status);
    }
}

TEST(Diskutil, DescribesTheVolumeOfAFolderThatDoesNotExistYet)
{
    QTemporaryDir dir;
    const ToolRun result = run(
        tool("diskutil"), {QStringLiteral("info"), QStringLiteral("-plist"), dir.filePath(QStringLiteral("not/yet"))});
    EXPECT_EQ(result.status, 0);
    for (const char *key : {"DeviceNode", "MountPoint", "FilesystemType", "GlobalPermissionsEnabled"})
        EXPECT_TRUE(result.out.contains(QStringLiteral("<key>%1</key>").arg(QLatin1String(key)))) << key;
}

TEST(BundledRsync, IsACopyOfTheSystemsRsync)
{
    const ToolRun bundled = run(tool("rsync"), {QStringLiteral("--version")});
    const ToolRun systemRsync = run(QStringLiteral("rsync"), {QStringLiteral("--version")});
    EXPECT_EQ(bundled.status, 0);
    EXPECT_EQ(bundled.out.section(u'\n', 0, 0), systemRsync.out.section(u'\n', 0, 0));
}

} // namespace
