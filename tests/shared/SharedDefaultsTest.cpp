// The shared defaults suite and the support folder, in XDG folders the test
// points at a temporary directory.
#include "SharedDefaults.h"
#include "SupportFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class XdgFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        m_oldData = qgetenv("XDG_DATA_HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        // Folders that do not exist yet, as on a fresh account.
        qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.filePath(u"fresh/share"_s)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(u"fresh/config"_s)));
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_oldData);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QTemporaryDir tmp;

private:
    QByteArray m_oldData;
    QByteArray m_oldConfig;
};

TEST_F(XdgFolders, AbsentPreferencesReadAsTheirDefaults)
{
    auto defaults = getUserDefaults();
    EXPECT_EQ(defaults->fileName(), tmp.filePath(u"fresh/config/vellumor/org.vellumor.Vellumor.shared.conf"_s));
    EXPECT_FALSE(SharedDefaults::waitForPowerToBackup(*defaults));
    EXPECT_TRUE(SharedDefaults::protectRoot(*defaults));
    EXPECT_TRUE(SharedDefaults::showAnimation(*defaults));
    EXPECT_FALSE(SharedDefaults::fastSnapshots(*defaults));
}

TEST_F(XdgFolders, StoredPreferencesReachAnotherReader)
{
    {
        auto writer = getUserDefaults();
        writer->setValue(DefaultsKey::waitForPowerToBackup, true);
        writer->setValue(DefaultsKey::protectRoot, false);
        writer->setValue(DefaultsKey::showAnimation, false);
        writer->setValue(DefaultsKey::fastSnapshots, true);
        writer->sync();
        ASSERT_EQ(writer->status(), QSettings::NoError);
    }
    auto reader = getUserDefaults();
    EXPECT_TRUE(SharedDefaults::waitForPowerToBackup(*reader));
    EXPECT_FALSE(SharedDefaults::protectRoot(*reader));
    EXPECT_FALSE(SharedDefaults::showAnimation(*reader));
    EXPECT_TRUE(SharedDefaults::fastSnapshots(*reader));
}

TEST_F(XdgFolders, ApplicationAndAgentResolveOneSupportFolder)
{
    const QString expected = tmp.filePath(u"fresh/share/org.vellumor.Vellumor"_s);
    EXPECT_EQ(getApplicationSupportFolder(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir()) << "created with its missing parents";
    EXPECT_EQ(getApplicationSupportFolderForMainApp(), expected);
    EXPECT_EQ(scheduleFilePath(), expected + u"/Scheduled Backups.xml"_s);
}

} // namespace
