// The whole hand-over with real processes on the test's private bus:
// vellumor-finder saves the keys and starts a new "application" (a stand-in
// doing the real start-up's take), which finds the copy exactly once.
#include "HandOverBundle.h"

#include "FinderCopyHandOver.h"
#include "SharedDefaults.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class HandOverProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bundle.isValid());
        ASSERT_TRUE(items.isValid());
        ASSERT_TRUE(QDir(items.path()).mkpath(u"source folder"_s));
        ASSERT_TRUE(QDir(items.path()).mkpath(u"target"_s));
        ASSERT_TRUE(QFile(items.filePath(u"b file"_s)).open(QIODevice::WriteOnly));
        m_oldPrefix = qgetenv("VELLUMOR_PREFIX");
        bundle.exportEnvironment();
        getUserDefaults()->clear();
    }
    void TearDown() override { qputenv("VELLUMOR_PREFIX", m_oldPrefix); }

    QString item(const QString &name) const { return items.filePath(name); }
    QString uri(const QString &name) const { return QUrl::fromLocalFile(item(name)).toString(); }
    bool keysLeft() const
    {
        QFile suite(sharedDefaultsFilePath());
        if (!suite.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = suite.readAll();
        return text.contains("selectedForPaste") || text.contains("selectedForCopy");
    }

    HandOverBundle bundle;
    QTemporaryDir items;

private:
    QByteArray m_oldPrefix;
};

TEST_F(HandOverProcessTest, CopyTwoItemsPasteIntoAFolderAndTheNewInstanceTakesBoth)
{
    ASSERT_EQ(bundle.runFinderTool({u"copy"_s, uri(u"source folder"_s), uri(u"b file"_s)}), 0);
    ASSERT_EQ(bundle.runFinderTool({u"paste"_s, u"--kept"_s, uri(u"target"_s)}), 0);
    ASSERT_TRUE(bundle.waitForLines(1));
    EXPECT_EQ(
        bundle.recordedLines(),
        QStringList{u"job\t"_s + item(u"target"_s) + u'\t' + item(u"source folder"_s) + u'\t' + item(u"b file"_s)});
    EXPECT_FALSE(keysLeft());
}

TEST_F(HandOverProcessTest, TwoQuickStartsTakeTheKeysOnceTheOtherStartsNormally)
{
    ASSERT_TRUE(writeFinderCopyRequest(item(u"target"_s), {QUrl::fromLocalFile(item(u"b file"_s))}));
    QProcess first;
    QProcess second;
    first.start(bundle.prefixPath(u"bin/vellumor"_s), {});
    second.start(bundle.prefixPath(u"bin/vellumor"_s), {});
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    QStringList lines = bundle.recordedLines();
    lines.sort();
    EXPECT_EQ(lines, (QStringList{u"job\t"_s + item(u"target"_s) + u'\t' + item(u"b file"_s), u"normal"_s}));
    EXPECT_FALSE(keysLeft());
}

TEST_F(HandOverProcessTest, KeysLeftByAFailedStartAreRunByTheNextStart)
{
    HandOverBundle withoutApplication(false);
    ASSERT_TRUE(withoutApplication.isValid());
    withoutApplication.exportEnvironment();
    EXPECT_EQ(withoutApplication.runFinderTool(
                  {u"paste"_s, u"--folder"_s, uri(u"target"_s), u"--copied"_s, uri(u"source folder"_s)}),
              0);
    EXPECT_TRUE(keysLeft());

    bundle.exportEnvironment();
    ASSERT_EQ(HandOverBundle::runToEnd(bundle.prefixPath(u"bin/vellumor"_s), {}), 0);
    EXPECT_EQ(bundle.recordedLines(), QStringList{u"job\t"_s + item(u"target"_s) + u'\t' + item(u"source folder"_s)});
    EXPECT_FALSE(keysLeft());
}

TEST_F(HandOverProcessTest, PasteWithoutCopyStartsAnInstanceThatFindsNoSource)
{
    ASSERT_EQ(bundle.runFinderTool({u"paste"_s, u"--folder"_s, uri(u"target"_s)}), 0);
    ASSERT_TRUE(bundle.waitForLines(1));
    EXPECT_EQ(bundle.recordedLines(), QStringList{u"job\t"_s + item(u"target"_s)});
}

} // namespace
