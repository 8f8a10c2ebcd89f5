#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr time_t kOldTime = 1000000000; // 2001, far from "now"

struct Entry
{
    const char *path;                 // relative to the scratch folder; ending in "/" makes a folder
    int size = 0;                     // bytes of a file
    const char *linkTarget = nullptr; // makes a symbolic link; "@" stands for the scratch folder
};

class Scratch
{
public:
    explicit Scratch(std::initializer_list<Entry> entries)
    {
        for (const Entry &entry : entries) {
            const QString path = at(QString::fromUtf8(entry.path));
            if (entry.linkTarget) {
                QString target = QString::fromUtf8(entry.linkTarget);
                target.replace(QLatin1Char('@'), m_directory.path());
                EXPECT_EQ(::symlink(target.toUtf8().constData(), path.toUtf8().constData()), 0) << entry.path;
            } else if (path.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(path);
            } else {
                QFile file(path);
                EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << entry.path;
                file.write(QByteArray(entry.size, 'x'));
            }
        }
        // Age everything, links included, so a touch is visible.
        for (const Entry &entry : entries)
            setModificationTime(at(QString::fromUtf8(entry.path)), kOldTime);
    }

    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    bool exists(const QString &relative) const
    {
        struct stat status;
        return ::lstat(at(relative).toUtf8().constData(), &status) == 0;
    }
    bool wasTouched(const QString &relative) const
    {
        struct stat status;
        return ::lstat(at(relative).toUtf8().constData(), &status) == 0 && status.st_mtime != kOldTime;
    }
    static void setModificationTime(const QString &path, time_t time)
    {
        const struct timespec times[2] = {{time, 0}, {time, 0}};
        ::utimensat(AT_FDCWD, path.toUtf8().constData(), times, AT_SYMLINK_NOFOLLOW);
    }

private:
    QTemporaryDir m_directory;
};

struct Result
{
    QString output;
    int exitCode;
};

Result runSizereap(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELLUMOR_STAGE "/bin/sizereap"), arguments);
    process.waitForFinished(60000);
    return {QString::fromUtf8(process.readAllStandardOutput()), process.exitCode()};
}

} // namespace

struct SizeReapCase
{
    const char *name;
    const char *mode;
    std::initializer_list<Entry> tree;
    QStringList paths; // relative to the scratch folder
    const char *expectedOutput;
    QStringList present; // must exist afterwards
    QStringList gone;    // must not exist afterwards
    QStringList touched;
    QStringList untouched;
};

TEST(SizeReap, ModesTotalsAndWhatRemains)
{
    const QString a = QStringLiteral("a");
    const SizeReapCase cases[] = {
        {"count two files",
         "count",
         {{"a/"}, {"a/one", 10}, {"a/two", 20}},
         {a},
         "30\n",
         {QStringLiteral("a/one"), QStringLiteral("a/two")},
         {},
         {QStringLiteral("a/one"), QStringLiteral("a/two")},
         {a}},
        {"delete two files", "delete", {{"a/"}, {"a/one", 10}, {"a/two", 20}}, {a}, "30\n", {}, {a}, {}, {}},
        {"count nested",
         "count",
         {{"a/"}, {"a/b/"}, {"a/b/x", 5}, {"a/b/y", 7}, {"a/c", 3}},
         {a},
         "15\n",
         {QStringLiteral("a/b/x")},
         {},
         {QStringLiteral("a/b"), QStringLiteral("a/b/x")},
         {}},
        {"delete removes a folder whole, uncounted",
         "delete",
         {{"a/"}, {"a/b/"}, {"a/b/x", 5}, {"a/b/y", 7}, {"a/c", 3}},
         {a},
         "3\n",
         {},
         {a},
         {},
         {}},
        {"hidden items count",
         "count",
         {{"a/"}, {"a/.hidden", 4}, {"a/.dir/"}, {"a/.dir/f", 6}},
         {a},
         "10\n",
         {},
         {},
         {QStringLiteral("a/.dir/f")},
         {}},
        {"a single file and a missing path",
         "count",
         {{"f", 42}},
         {QStringLiteral("f"), QStringLiteral("missing")},
         "42\n",
         {QStringLiteral("f")},
         {},
         {QStringLiteral("f")},
         {}},
        {"paths in the order given, summed",
         "delete",
         {{"p", 1}, {"q/"}, {"q/r", 2}},
         {QStringLiteral("p"), QStringLiteral("q")},
         "3\n",
         {},
         {QStringLiteral("p"), QStringLiteral("q")},
         {},
         {}},
        {"awkward names",
         "delete",
         {{"-dash dir/"}, {"-dash dir/new\nline", 8}, {"-dash dir/ space ", 1}},
         {QStringLiteral("-dash dir")},
         "9\n",
         {},
         {QStringLiteral("-dash dir")},
         {},
         {}},
        // A link to a folder outside the tree: counted as a link (its own size,
        // the length of its target text), never entered, removed as a link.
        {"count never follows a link out",
         "count",
         {{"outside/"}, {"outside/big", 1000}, {"a/"}, {"a/link", 0, "../outside"}},
         {a},
         "10\n",
         {QStringLiteral("outside/big")},
         {},
         {QStringLiteral("a/link")},
         {QStringLiteral("outside/big")}},
        {"delete never follows a link out",
         "delete",
         {{"outside/"}, {"outside/big", 1000}, {"a/"}, {"a/link", 0, "../outside"}},
         {a},
         "10\n",
         {QStringLiteral("outside/big")},
         {a},
         {},
         {QStringLiteral("outside/big"), QStringLiteral("outside")}},
        {"a link given as the path is a link",
         "delete",
         {{"outside/"}, {"outside/big", 1000}, {"link", 0, "outside"}},
         {QStringLiteral("link")},
         "7\n",
         {QStringLiteral("outside/big")},
         {QStringLiteral("link")},
         {},
         {QStringLiteral("outside/big")}},
    };
    for (const SizeReapCase &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Scratch scratch(testCase.tree);
        QStringList arguments{QString::fromLatin1(testCase.mode)};
        for (const QString &path : testCase.paths)
            arguments << scratch.at(path);
        const Result result = runSizereap(arguments);
        EXPECT_EQ(result.output, QLatin1String(testCase.expectedOutput));
        EXPECT_EQ(result.exitCode, 0);
        for (const QString &path : testCase.present)
            EXPECT_TRUE(scratch.exists(path)) << qPrintable(path);
        for (const QString &path : testCase.gone)
            EXPECT_FALSE(scratch.exists(path)) << qPrintable(path);
        for (const QString &path : testCase.touched)
            EXPECT_TRUE(scratch.wasTouched(path)) << qPrintable(path);
        for (const QString &path : testCase.untouched)
            EXPECT_FALSE(scratch.wasTouched(path)) << qPrintable(path);
    }
}

TEST(SizeReap, WithoutAPathPrintsNothing)
{
    for (const QStringList &arguments : {QStringList{}, QStringList{QStringLiteral("delete")}}) {
        const Result result = runSizereap(arguments);
        EXPECT_EQ(result.output, QString());
        EXPECT_EQ(result.exitCode, 0);
    }
}

TEST(SizeReap, ItemThatCannotBeTouchedIsNeitherCountedNorDeleted)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may touch any file";
    Scratch scratch({{"a/"}, {"a/mine", 5}});
    const QString foreign = QStringLiteral("/etc/hostname"); // owned by root, not writable by us
    const Result result = runSizereap({QStringLiteral("delete"), foreign, scratch.at(QStringLiteral("a"))});
    EXPECT_EQ(result.output, QStringLiteral("5\n"));
    EXPECT_TRUE(QFileInfo::exists(foreign));
}

TEST(SizeReap, DeleteRefusesAFinalDotOrDotDot)
{
    Scratch scratch(
        {{"parent/"}, {"parent/target/"}, {"parent/target/f", 4}, {"parent/sibling/"}, {"parent/sibling/g", 6}});
    for (const char *suffix : {"parent/target/..", "parent/target/../", "parent/target/."}) {
        SCOPED_TRACE(suffix);
        const Result result = runSizereap({QStringLiteral("delete"), scratch.at(QLatin1String(suffix))});
        EXPECT_EQ(result.output, QStringLiteral("0\n"));
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(scratch.exists(QStringLiteral("parent/target/f")));
        EXPECT_TRUE(scratch.exists(QStringLiteral("parent/sibling/g")));
    }
    EXPECT_EQ(runSizereap({QStringLiteral("count"), scratch.at(QStringLiteral("parent/target/.."))}).output,
              QStringLiteral("10\n"))
        << "counting such a path harms nothing";
}

TEST(SizeReap, StaysOnItsFileSystem)
{
    Scratch scratch({{"a/"}, {"a/f", 3}, {"a/mounted/"}});
    const ToolTest::TmpfsMount mount(scratch.at(QStringLiteral("a/mounted")));
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    {
        QFile inside(scratch.at(QStringLiteral("a/mounted/big")));
        ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
        inside.write(QByteArray(1000, 'x'));
    }
    Scratch::setModificationTime(scratch.at(QStringLiteral("a/mounted/big")), kOldTime);
    for (const char *mode : {"count", "delete"}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(runSizereap({QLatin1String(mode), scratch.at(QStringLiteral("a"))}).output, QStringLiteral("3\n"));
        EXPECT_TRUE(scratch.exists(QStringLiteral("a/mounted/big")));
        EXPECT_FALSE(scratch.wasTouched(QStringLiteral("a/mounted/big")));
    }
    EXPECT_FALSE(scratch.exists(QStringLiteral("a/f")));
}

TEST(SizeReap, WalksATreeDeeperThanTheOpenFileLimit)
{
    Scratch scratch({{"deep/"}});
    constexpr int depth = 300;
    ASSERT_TRUE(ToolTest::makeDeepTree(scratch.at(QStringLiteral("deep")), depth, 17));
    const QString sizereap = QStringLiteral(VELLUMOR_STAGE "/bin/sizereap");
    EXPECT_EQ(
        ToolTest::runWithFileLimit(sizereap, {QStringLiteral("count"), scratch.at(QStringLiteral("deep"))}, 32).out,
        QStringLiteral("17\n"));
    // In delete mode the first folder goes whole, its contents uncounted.
    EXPECT_EQ(
        ToolTest::runWithFileLimit(sizereap, {QStringLiteral("delete"), scratch.at(QStringLiteral("deep"))}, 32).out,
        QStringLiteral("0\n"));
    EXPECT_FALSE(scratch.exists(QStringLiteral("deep")));
}
