// The whole hand-over with the real application: vellumor-finder saves the
// keys and starts a new `vellumor` (offscreen, on the test's private bus),
// which takes them, copies both items into the target folder with the real
// rsync and quits by itself.
#include "HandOverBundle.h"

#include "SharedDefaults.h"

#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

class ApplicationHandOverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bundle.isValid());
        ASSERT_TRUE(items.isValid());
        m_oldPrefix = qgetenv("VELLUMOR_PREFIX");
        stageApplication();
        bundle.exportEnvironment();
        getUserDefaults()->clear();
        writeText(items.filePath(u"source folder/inner/letter.txt"_s), "Dear reader\n");
        writeText(items.filePath(u"b file"_s), "second item\n");
        writeText(items.filePath(u"target/already there.txt"_s), "stays\n");
    }
    void TearDown() override { qputenv("VELLUMOR_PREFIX", m_oldPrefix); }

    // The real application in the throw-away bundle, behind a wrapper that
    // records its exit status; copies of the bundle's tools (a start may
    // give them their rights) and its data. No agent: its start is skipped.
    void stageApplication()
    {
        const QString stage = QStringLiteral(VELLUMOR_STAGE);
        for (const char *tool : {"rsync", "mount", "bless", "dropcount", "diskutil"}) {
            const QString name = QString::fromLatin1(tool);
            ASSERT_TRUE(
                QFile::copy(stage + u"/libexec/vellumor/"_s + name, bundle.prefixPath(u"libexec/vellumor/"_s + name)));
        }
        ASSERT_TRUE(QFile::link(stage + u"/share"_s, bundle.prefixPath(u"share"_s)));
        const QString wrapper = bundle.prefixPath(u"bin/vellumor"_s);
        writeText(wrapper,
                  "#!/bin/sh\n\"" + QFile::encodeName(QStringLiteral(VELLUMOR_APPLICATION))
                      + "\" \"$@\" 2>>\"$VELLUMOR_TEST_RECORD.log\"\necho \"exit $?\" >>\"$VELLUMOR_TEST_RECORD\"\n");
        QFile(wrapper).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString item(const QString &name) const { return items.filePath(name); }
    QString uri(const QString &name) const { return QUrl::fromLocalFile(item(name)).toString(); }
    QString applicationLog() const
    {
        QFile log(bundle.recordPath() + u".log"_s);
        return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
    }

    HandOverBundle bundle{false};
    QTemporaryDir items;

private:
    QByteArray m_oldPrefix;
};

TEST_F(ApplicationHandOverTest, PasteStartsTheApplicationWhichCopiesBothItemsAndQuits)
{
    ASSERT_EQ(bundle.runFinderTool({u"copy"_s, uri(u"source folder"_s), uri(u"b file"_s)}), 0);
    ASSERT_EQ(bundle.runFinderTool({u"paste"_s, u"--kept"_s, uri(u"target"_s)}), 0);
    ASSERT_TRUE(bundle.waitForLines(1)) << qPrintable(applicationLog());
    EXPECT_EQ(bundle.recordedLines(), QStringList{u"exit 0"_s}) << qPrintable(applicationLog());

    const QString target = item(u"target"_s);
    EXPECT_TRUE(QFileInfo::exists(target + u"/source folder/inner/letter.txt"_s));
    EXPECT_TRUE(QFileInfo::exists(target + u"/b file"_s));
    EXPECT_TRUE(QFileInfo::exists(target + u"/already there.txt"_s));
    // The run's logged rsync arguments: both items in selection order, and
    // nothing deleted at the target.
    const QStringList lines = applicationLog().split(u'\n');
    const auto arguments
        = std::find_if(lines.cbegin(), lines.cend(), [](const QString &line) { return line.startsWith(u"args:"_s); });
    ASSERT_NE(arguments, lines.cend()) << qPrintable(applicationLog());
    EXPECT_TRUE(arguments->endsWith(item(u"source folder"_s) + u' ' + item(u"b file"_s) + u' ' + target + u'/'))
        << qPrintable(*arguments);
    EXPECT_FALSE(arguments->contains(u" --delete"_s));
    const std::unique_ptr<QSettings> defaults = getUserDefaults();
    EXPECT_FALSE(defaults->contains(DefaultsKey::selectedForPaste));
    EXPECT_FALSE(defaults->contains(DefaultsKey::selectedForCopy));
}

TEST_F(ApplicationHandOverTest, PasteWithoutCopyLogsAndTheApplicationQuits)
{
    ASSERT_EQ(bundle.runFinderTool({u"paste"_s, u"--folder"_s, uri(u"target"_s)}), 0);
    ASSERT_TRUE(bundle.waitForLines(1)) << qPrintable(applicationLog());
    EXPECT_EQ(bundle.recordedLines(), QStringList{u"exit 0"_s});
    EXPECT_TRUE(applicationLog().contains(u"no backup source, quitting\n"_s)) << qPrintable(applicationLog());
    EXPECT_EQ(QDir(item(u"target"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{u"already there.txt"_s});
}

} // namespace
