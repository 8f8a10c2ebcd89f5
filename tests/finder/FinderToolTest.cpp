// vellumor-finder's command line, run in this process with a recording
// launcher: how each file manager's call becomes a paste.
#include "FinderFakes.h"
#include "FinderTool.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class FinderToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath(u"shown/folder"_s));
        ASSERT_TRUE(QFile(tmp.filePath(u"shown/file.txt"_s)).open(QIODevice::WriteOnly));
        getUserDefaults()->clear();
    }
    QString uri(const QString &relative) const { return QUrl::fromLocalFile(tmp.filePath(relative)).toString(); }
    QString path(const QString &relative) const { return tmp.filePath(relative); }
    int run(QStringList arguments)
    {
        arguments.prepend(u"vellumor-finder"_s);
        return FinderTool::run(arguments, launcher);
    }

    QTemporaryDir tmp;
    RecordingLauncher launcher;
};

struct PasteCase
{
    const char *name;
    QStringList arguments;
    QString expectedTarget;
    QStringList expectedSources;
};

TEST_F(FinderToolTest, PasteWithTheItemsGivenOnTheCommandLine)
{
    const PasteCase cases[] = {
        {"background of the folder shown",
         {u"paste"_s, u"--folder"_s, uri(u"shown"_s), u"--copied"_s, uri(u"shown/file.txt"_s)},
         u"shown"_s,
         {u"shown/file.txt"_s}},
        {"a selected folder",
         {u"paste"_s, u"--folder"_s, uri(u"shown"_s), u"--"_s, uri(u"shown/folder"_s)},
         u"shown/folder"_s,
         {}},
        {"a selected file, folder from its place",
         {u"paste"_s, u"--copied"_s, uri(u"shown/folder"_s), u"--copied"_s, uri(u"shown/file.txt"_s),
          uri(u"shown/file.txt"_s)},
         u"shown"_s,
         {u"shown/folder"_s, u"shown/file.txt"_s}},
        {"plain paths",
         {u"paste"_s, u"--copied"_s, path(u"shown/file.txt"_s), path(u"shown/folder"_s)},
         u"shown/folder"_s,
         {u"shown/file.txt"_s}},
    };
    for (const PasteCase &c : cases) {
        SCOPED_TRACE(c.name);
        launcher.launches.clear();
        ASSERT_EQ(run(c.arguments), 0);
        ASSERT_EQ(launcher.launches.size(), 1);
        QStringList sources;
        for (const QString &source : c.expectedSources)
            sources.append(path(source));
        EXPECT_EQ(launcher.launches.first(), (FinderCopyRequest{sources, path(c.expectedTarget)}));
    }
}

TEST_F(FinderToolTest, CopyIsKeptForLaterPastesUntilTheNextCopy)
{
    ASSERT_EQ(run({u"copy"_s, uri(u"shown/folder"_s), uri(u"shown/file.txt"_s)}), 0);
    EXPECT_TRUE(launcher.launches.isEmpty());
    ASSERT_EQ(run({u"paste"_s, u"--kept"_s, uri(u"shown/folder"_s)}), 0);
    ASSERT_EQ(run({u"paste"_s, u"--kept"_s, uri(u"shown/file.txt"_s)}), 0);
    ASSERT_EQ(run({u"copy"_s, uri(u"shown/file.txt"_s)}), 0);
    ASSERT_EQ(run({u"paste"_s, u"--kept"_s, uri(u"shown"_s)}), 0);

    const QStringList both{path(u"shown/folder"_s), path(u"shown/file.txt"_s)};
    ASSERT_EQ(launcher.launches.size(), 3);
    EXPECT_EQ(launcher.launches[0], (FinderCopyRequest{both, path(u"shown/folder"_s)}));
    EXPECT_EQ(launcher.launches[1], (FinderCopyRequest{both, path(u"shown"_s)}));
    EXPECT_EQ(launcher.launches[2], (FinderCopyRequest{{path(u"shown/file.txt"_s)}, path(u"shown"_s)}));
}

TEST_F(FinderToolTest, PasteOfNothingKeptStillHandsOverTheTarget)
{
    ASSERT_EQ(run({u"paste"_s, u"--kept"_s, uri(u"shown/folder"_s)}), 0);
    ASSERT_EQ(launcher.launches.size(), 1);
    EXPECT_EQ(launcher.launches.first(), (FinderCopyRequest{{}, path(u"shown/folder"_s)}));
}

TEST_F(FinderToolTest, BadCommandLinesChangeNothing)
{
    const QStringList cases[] = {
        {},
        {u"cut"_s},
        {u"paste"_s},
        {u"paste"_s, u"--unknown"_s, uri(u"shown"_s)},
    };
    for (const QStringList &arguments : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        EXPECT_EQ(run(arguments), 2);
    }
    EXPECT_TRUE(launcher.launches.isEmpty());
    EXPECT_FALSE(getUserDefaults()->contains(DefaultsKey::selectedForPaste));
}

} // namespace
