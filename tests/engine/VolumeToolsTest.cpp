// Ownership and bless decisions against a scripted diskutil, and the bundle's
// own diskutil stand-in against the real mount table.
#include "VolumeTools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Launch
{
    QString program;
    QStringList arguments;
};

// A tool folder whose "diskutil" prints `plist` and records its arguments.
class FakeDiskutil
{
public:
    explicit FakeDiskutil(const QByteArray &plist)
    {
        QFile answer(m_dir.filePath(QStringLiteral("answer.plist")));
        EXPECT_TRUE(answer.open(QIODevice::WriteOnly));
        answer.write(plist);
        QFile script(m_dir.filePath(QStringLiteral("diskutil")));
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\ncat \"$(dirname \"$0\")/answer.plist\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_tools = VolumeTools(m_dir.path());
        m_tools.setDetachedLauncher([this](const QString &program, const QStringList &arguments) {
            launches.append({program, arguments});
            return true;
        });
    }
    QStringList diskutilArguments() const
    {
        QFile args(m_dir.filePath(QStringLiteral("args")));
        if (!args.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(args.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    VolumeTools &tools() { return m_tools; }
    QString dir() const { return m_dir.path(); }
    QList<Launch> launches;

private:
    QTemporaryDir m_dir;
    VolumeTools m_tools;
};

QByteArray plistDict(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body
        + "</dict>\n</plist>\n";
}

TEST(VolumeTools, OwnershipAnswersAndMountCommandLines)
{
    const struct
    {
        const char *name;
        QByteArray output;
        bool change;
        bool enable;
        bool expectedAnswer;
        QStringList expectedMount; // empty: nothing started
    } cases[] = {
        {"enabled, switch on",
         plistDict("<key>GlobalPermissionsEnabled</key><true/><key>DeviceNode</key><string>/dev/sdb1</string>"),
         true,
         true,
         true,
         {QStringLiteral("-o"), QStringLiteral("owners"), QStringLiteral("-u"), QStringLiteral("/dev/sdb1")}},
        {"disabled, switch off",
         plistDict("<key>GlobalPermissionsEnabled</key><false/><key>DeviceNode</key><string>/dev/sdb1</string>"),
         true,
         false,
         false,
         {QStringLiteral("-o"), QStringLiteral("noowners"), QStringLiteral("-u"), QStringLiteral("/dev/sdb1")}},
        {"integer value",
         plistDict(
             "<key>GlobalPermissionsEnabled</key><integer>1</integer><key>DeviceNode</key><string>/dev/x</string>"),
         false,
         true,
         true,
         {}},
        {"no device node: nothing started",
         plistDict("<key>GlobalPermissionsEnabled</key><true/>"),
         true,
         true,
         true,
         {}},
        {"missing key reads as no",
         plistDict("<key>DeviceNode</key><string>/dev/sdc</string>"),
         true,
         true,
         false,
         {QStringLiteral("-o"), QStringLiteral("owners"), QStringLiteral("-u"), QStringLiteral("/dev/sdc")}},
        {"garbage: no and nothing started", "Could not find disk: /nowhere\n", true, true, false, {}},
        {"array root: no", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>", true, true, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDiskutil fake(c.output);
        EXPECT_EQ(fake.tools().checkSetOwnershipOnVolume(c.change, c.enable, fake.dir() + QStringLiteral("/not/yet")),
                  c.expectedAnswer);
        // diskutil is asked about the volume root, not the (missing) folder.
        const QStringList asked = fake.diskutilArguments();
        ASSERT_EQ(asked.size(), 3);
        EXPECT_EQ(asked.mid(0, 2), (QStringList{QStringLiteral("info"), QStringLiteral("-plist")}));
        EXPECT_EQ(asked[2], volumeRootOf(fake.dir()));
        if (c.expectedMount.isEmpty()) {
            EXPECT_TRUE(fake.launches.isEmpty());
        } else {
            ASSERT_EQ(fake.launches.size(), 1);
            EXPECT_EQ(fake.launches[0].program, fake.dir() + QStringLiteral("/mount"));
            EXPECT_EQ(fake.launches[0].arguments, c.expectedMount);
        }
    }
}

TEST(VolumeTools, BundledDiskutilDescribesTheRootFileSystem)
{
    VolumeTools tools(QStringLiteral(VELLUMOR_STAGE "/libexec/vellumor"));
    QList<Launch> launches;
    tools.setDetachedLauncher([&](const QString &program, const QStringList &arguments) {
        launches.append({program, arguments});
        return true;
    });
    tools.checkSetOwnershipOnVolume(true, true, QStringLiteral("/"));
    ASSERT_EQ(launches.size(), 1);
    EXPECT_EQ(launches[0].arguments.size(), 4);
    EXPECT_FALSE(launches[0].arguments[3].isEmpty());
}

TEST(VolumeTools, BootableRulesNeverTakeAPlainFolder)
{
    QTemporaryDir dir;
    EXPECT_FALSE(VolumeTools::doesAppearBootableSource(dir.path()));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("System/Library/CoreServices")));
    EXPECT_TRUE(VolumeTools::doesAppearBootableSource(dir.path()));
    EXPECT_TRUE(VolumeTools::doesAppearBootableSource(dir.path() + u'/'));
    // A folder on a volume is never a bootable destination, and "/" is not a volume root.
    EXPECT_FALSE(VolumeTools::doesAppearBootableDestination(dir.path()));
    EXPECT_FALSE(VolumeTools::doesAppearBootableDestination(QStringLiteral("/")));
    VolumeTools tools;
    int started = 0;
    tools.setDetachedLauncher([&](const QString &, const QStringList &) { return ++started > 0; });
    EXPECT_FALSE(tools.blessDest(dir.path()));
    EXPECT_EQ(started, 0);
}

TEST(VolumeTools, ParseDiskutilInfoToleratesJunk)
{
    EXPECT_FALSE(parseDiskutilInfo(QByteArray()).parsed);
    EXPECT_FALSE(parseDiskutilInfo("<plist><dict><key>").parsed);
    const DiskutilInfo info = parseDiskutilInfo(plistDict("<key>DeviceNode</key><string>/dev/sdb1</string>"));
    EXPECT_TRUE(info.parsed);
    EXPECT_FALSE(info.globalPermissionsEnabled);
    EXPECT_EQ(info.deviceNode, QStringLiteral("/dev/sdb1"));
}

} // namespace

TEST(VolumeTools, ANewDestinationIsMadeOnlyOnAPresentDisk)
{
    QTemporaryDir root;
    const QString present = root.filePath(QStringLiteral("present/Backups/Mine"));
    const QString missing = root.filePath(QStringLiteral("media/USB Disk/Backups"));
    const QString existing = root.path();
    QDir().mkpath(root.filePath(QStringLiteral("media")));
    QStringList asked;
    const auto mounted = [&](const QString &path) {
        asked << path;
        return path != root.filePath(QStringLiteral("media"));
    };
    EXPECT_TRUE(makeDestinationOnPresentVolume(present, mounted));
    EXPECT_TRUE(QFileInfo(present).isDir());
    EXPECT_EQ(asked, QStringList{root.path()}) << "the nearest existing parent decides";
    asked.clear();
    EXPECT_TRUE(makeDestinationOnPresentVolume(missing, mounted)) << "left for the run to report";
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(asked, QStringList{root.filePath(QStringLiteral("media"))});
    asked.clear();
    EXPECT_TRUE(makeDestinationOnPresentVolume(existing, mounted));
    EXPECT_TRUE(asked.isEmpty()) << "an existing destination needs no disk check";
    EXPECT_EQ(nearestExistingFolder(root.filePath(QStringLiteral("a/b/../c"))), root.path());
}
