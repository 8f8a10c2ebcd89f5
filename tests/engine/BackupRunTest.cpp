// Whole runs through the controller with real rsync into temporary folders:
// the end-to-end proof that the controller tests' replayed output tells the
// truth.
#include "EngineTestDoubles.h"
#include "TestFiles.h"
#include "EventLoopWait.h"
#include "MFTaskAppDelegate.h"
#include "RecordingView.h"
#include "RunListFile.h"

#include "Clock.h"
#include "DestinationCapabilities.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

// Itemised differences between two trees, content compared by checksum.
QString differences(const QString &source, const QString &dest)
{
    QProcess rsync;
    rsync.start(QStringLiteral("rsync"),
                {QStringLiteral("-anciH"), QStringLiteral("--delete"), source + u'/', dest + u'/'});
    rsync.waitForFinished(-1);
    return QString::fromUtf8(rsync.readAllStandardOutput() + rsync.readAllStandardError());
}

struct RunResult
{
    Outcome outcome = Outcome::Failed;
    QString detail;
    bool finished = false;
};

class BackupRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(QStringLiteral("Data"));
        m_dest = m_dir.filePath(QStringLiteral("Backup"));
        QDir().mkpath(m_dest);
    }

    std::unique_ptr<MFTaskAppDelegate> makeController(const QString &toolDirectory = QString())
    {
        MFTaskAppServices services;
        services.clock = &m_clock;
        services.privilegedRunner = &m_noPrivileges;
        services.toolDirectory = toolDirectory;
        if (m_volumeIsMounted)
            services.volumeIsMounted = m_volumeIsMounted;
        services.freeSpace = m_freeSpace;
        auto controller = std::make_unique<MFTaskAppDelegate>(&m_view, services);
        QObject::connect(controller.get(), &MFTaskAppDelegate::runFinished, controller.get(),
                         [this](Outcome outcome, const QString &detail) {
                             m_result = {outcome, detail, true};
                         });
        return controller;
    }

    // Runs the event loop until the run reports its end; the guard only
    // turns a hang into a failure.
    RunResult waitForRun(std::function<bool()> extraCondition = {})
    {
        processEventsUntil([&] { return m_result.finished && (!extraCondition || extraCondition()); });
        EXPECT_TRUE(m_result.finished) << "the run never ended";
        RunResult result = m_result;
        m_result = {};
        return result;
    }

    RunResult runBackup(MFTaskAppDelegate &controller)
    {
        controller.startBackup();
        return waitForRun();
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    RecordingView m_view;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC)};
    NoPrivileges m_noPrivileges;
    std::function<bool(const QString &)> m_volumeIsMounted;
    RunResult m_result;
    std::function<std::optional<qint64>(const QString &)> m_freeSpace;
};

void makeAwkwardTree(const QString &root)
{
    writeFile(root + QStringLiteral("/plain.txt"), "plain\n");
    writeFile(root + QStringLiteral("/with space/file name.txt"), "spaces\n");
    writeFile(root + QStringLiteral("/Ünïcødé/日本語 ☃.txt"), "unicode\n");
    writeFile(root + QStringLiteral("/-leading dash"), "dash\n");
    writeFile(root + QStringLiteral("/new\nline.txt"), "newline\n");
    writeFile(root + QStringLiteral("/deep/a/b/c/d.bin"), QByteArray(100000, 'x'));
    QDir().mkpath(root + QStringLiteral("/empty folder"));
    QFile::link(QStringLiteral("plain.txt"), root + QStringLiteral("/link to plain"));
    QFile::link(QStringLiteral("/nowhere/at/all"), root + QStringLiteral("/dangling"));
    ::link(QFile::encodeName(root + QStringLiteral("/plain.txt")).constData(),
           QFile::encodeName(root + QStringLiteral("/deep/hard link.txt")).constData());
}

TEST_F(BackupRunTest, SyncCopiesAnAwkwardTreeExactlyAndFollowsEditsAndDeletions)
{
    makeAwkwardTree(m_source);
    auto controller = makeController();
    controller->backupSources = {m_source + u'/'}; // one trailing "/" is dropped
    controller->backupDest = m_dest;

    RunResult first = runBackup(*controller);
    EXPECT_EQ(first.outcome, Outcome::Completed) << first.detail.toStdString();
    const QString copy = m_dest + QStringLiteral("/Data");
    EXPECT_EQ(differences(m_source, copy), QString());
    EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
    EXPECT_EQ(controller->backupDest, m_dest + u'/');
    EXPECT_EQ(controller->backupSources, QStringList{m_source});
    ASSERT_FALSE(m_view.rows.isEmpty());
    EXPECT_EQ(m_view.rows.last().value(), m_dest + u'/');
    EXPECT_EQ(m_view.notifications.first().message, QStringLiteral("Backup Starting"));
    EXPECT_EQ(m_view.notifications.last().message, QStringLiteral("Operation Complete"));
    struct stat a, b;
    ASSERT_EQ(::lstat(QFile::encodeName(copy + QStringLiteral("/plain.txt")).constData(), &a), 0);
    ASSERT_EQ(::lstat(QFile::encodeName(copy + QStringLiteral("/deep/hard link.txt")).constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino) << "hard links stay hard links";

    writeFile(m_source + QStringLiteral("/plain.txt"), "edited\n");
    QFile::remove(m_source + QStringLiteral("/-leading dash"));
    QDir(m_source + QStringLiteral("/deep/a")).removeRecursively();
    writeFile(m_source + QStringLiteral("/added.txt"), "added\n");
    RunResult second = runBackup(*controller);
    EXPECT_EQ(second.outcome, Outcome::Completed) << second.detail.toStdString();
    EXPECT_EQ(differences(m_source, copy), QString());
    EXPECT_FALSE(QFileInfo::exists(copy + QStringLiteral("/deep/a")));
}

TEST_F(BackupRunTest, SnapshotWritesADatedFolderAndRecordsItAsLinkDestination)
{
    makeAwkwardTree(m_source);
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    m_view.modeRow = 1;
    JobRecord job;
    job.insert(JobKey::sourcePath, m_source);
    controller->startBackup(&job);
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(job.value(JobKey::linkDest).toString(),
              m_dest + QStringLiteral("/VLM Snapshot 06-12-2026 Sun 21-00 PM/"));
    const QString folder = m_dest + QStringLiteral("/VLM Snapshot 06-12-2026 Sun 21-00 PM/");
    EXPECT_EQ(controller->linkDest, folder);
    EXPECT_EQ(m_view.linkDestText, QStringLiteral("VLM Snapshot 06-12-2026 Sun 21-00 PM"));
    EXPECT_EQ(differences(m_source, folder + QStringLiteral("Data")), QString());
}

TEST_F(BackupRunTest, RestoreKeepsNewerFilesAndDeletesNothing)
{
    writeFile(m_source + QStringLiteral("/older-in-backup.txt"), "from backup\n");
    writeFile(m_source + QStringLiteral("/only-in-backup.txt"), "restored\n");
    const QString target = m_dir.filePath(QStringLiteral("Home"));
    writeFile(target + QStringLiteral("/Data/older-in-backup.txt"), "newer at home\n");
    writeFile(target + QStringLiteral("/Data/extra.txt"), "mine\n");
    // The backup's copy is a day older than the one at home.
    QFile backupCopy(m_source + QStringLiteral("/older-in-backup.txt"));
    ASSERT_TRUE(backupCopy.open(QIODevice::ReadWrite));
    backupCopy.setFileTime(QDateTime::currentDateTimeUtc().addDays(-1), QFileDevice::FileModificationTime);
    backupCopy.close();

    auto controller = makeController();
    m_view.modeRow = 1; // restore copies in update mode whatever the mode row shows
    m_view.chooserAnswers = {m_source, target};
    controller->restoreBackup();
    EXPECT_FALSE(controller->isRestore);
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/older-in-backup.txt")), "newer at home\n");
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/only-in-backup.txt")), "restored\n");
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/extra.txt")), "mine\n");
    QStringList arguments;
    for (const Argument &row : m_view.rows)
        arguments << row.value();
    EXPECT_TRUE(arguments.contains(QStringLiteral("--update")));
    EXPECT_FALSE(arguments.contains(QStringLiteral("--delete")));
}

TEST_F(BackupRunTest, AFullDestinationEndsAsOutOfSpaceNotAHang)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    QByteArray noise(1 << 20, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) ^ (i >> 3));
    for (int i = 0; i < 4; ++i)
        writeFile(m_source + QStringLiteral("/big-%1.bin").arg(i), noise);
    const struct
    {
        const char *name;
        bool claimRoom; // the disk says it has room, and fills while the copy runs
        QString alert;
    } cases[] = {
        {"refused before copying", false, QStringLiteral("Can't start backup")},
        {"full while copying", true, QStringLiteral("Out of drive space")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString small = m_dir.filePath(QString::fromLatin1(c.name));
        QDir().mkpath(small);
        if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=2m") != 0)
            GTEST_SKIP() << "cannot mount tmpfs here";
        m_view.reset();
        m_freeSpace = c.claimRoom ? [](const QString &) { return std::optional<qint64>(qint64(1) << 40); }
                                  : std::function<std::optional<qint64>(const QString &)>();
        auto controller = makeController();
        controller->backupSources = {m_source};
        controller->backupDest = small;
        RunResult result = runBackup(*controller);
        const QStringList written = QDir(small).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        ::umount2(QFile::encodeName(small).constData(), MNT_DETACH);
        EXPECT_EQ(result.outcome, Outcome::OutOfSpace) << result.detail.toStdString();
        EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        bool alerted = false;
        for (const auto &alert : m_view.alerts)
            alerted = alerted || alert.message == c.alert;
        EXPECT_TRUE(alerted);
        if (!c.claimRoom) {
            // The disk's name is its mount point's.
            EXPECT_EQ(result.detail,
                      QString::fromLatin1(c.name) + QStringLiteral(" has 2 MB free; this backup needs about 4 MB."));
            EXPECT_EQ(written, QStringList()) << "nothing was copied";
        }
    }
}

// --- Sources checked before anything is written ----------------------------------

TEST_F(BackupRunTest, SourcesAreCheckedBeforeAnythingIsWritten)
{
    const QString other = m_source + QStringLiteral("/../elsewhere");
    writeFile(other + QStringLiteral("/docs/from-elsewhere.txt"), "e\n");
    writeFile(m_source + QStringLiteral("/docs/a.txt"), "a\n");
    writeFile(m_source + QStringLiteral("/dev/kept.txt"), "d\n");
    writeFile(m_source + QStringLiteral("/tmp/kept.txt"), "t\n");
    QDir().mkpath(m_source + QStringLiteral("/empty"));
    writeFile(m_dest + QStringLiteral("/empty/mirrored.txt"), "m\n");
    ASSERT_TRUE(QFile::link(m_source + QStringLiteral("/docs"), m_source + QStringLiteral("/docs-link")));

    const struct
    {
        const char *name;
        QStringList sources;
        Outcome outcome;
        QStringList copied; // relative to the destination
        QString alertContains;
        QString dest = {}; // m_dest when empty
        QStringList excluded = {};
    } cases[] = {
        {"a link to a folder backs up the folder",
         {m_source + QStringLiteral("/docs-link")},
         Outcome::Completed,
         {QStringLiteral("docs/a.txt")},
         {}},
        {"folders named dev and tmp are copied whole",
         {m_source + QStringLiteral("/dev"), m_source + QStringLiteral("/tmp")},
         Outcome::Completed,
         {QStringLiteral("dev/kept.txt"), QStringLiteral("tmp/kept.txt")},
         {}},
        {"an empty source does not empty its mirror",
         {m_source + QStringLiteral("/empty")},
         Outcome::Refused,
         {QStringLiteral("empty/mirrored.txt")},
         QStringLiteral("is empty")},
        // Before "--", an item like an option reached rsync as one and
        // deleted the copied files; a relative path meant the home folder.
        {"an item that looks like an option is refused",
         {m_source + QStringLiteral("/docs"), QStringLiteral("--remove-source-files")},
         Outcome::Refused,
         {},
         QStringLiteral("\"--remove-source-files\" is not an absolute path")},
        {"a relative source is refused", {QStringLiteral("docs")}, Outcome::Refused, {}, QStringLiteral("absolute")},
        {"two sources named docs are not merged",
         {m_source + QStringLiteral("/docs"), QDir::cleanPath(other + QStringLiteral("/docs"))},
         Outcome::Refused,
         {},
         QStringLiteral("named docs")},
        {"a destination inside the source is refused",
         {m_source + QStringLiteral("/docs")},
         Outcome::Refused,
         {},
         QStringLiteral("is inside the source"),
         m_source + QStringLiteral("/docs/backups")},
        {"an excluded destination inside the source is copied around",
         {m_source + QStringLiteral("/docs")},
         Outcome::Completed,
         {QStringLiteral("docs/a.txt")},
         {},
         m_source + QStringLiteral("/docs/backups"),
         {m_source + QStringLiteral("/docs/backups")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_view.reset();
        auto controller = makeController();
        const QString dest = c.dest.isEmpty() ? m_dest : c.dest;
        QDir().mkpath(dest);
        controller->backupSources = c.sources;
        controller->backupDest = dest;
        controller->excludedFiles = c.excluded;
        RunResult result = runBackup(*controller);
        EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
        for (const QString &copied : c.copied)
            EXPECT_TRUE(QFileInfo::exists(dest + u'/' + copied)) << copied.toStdString();
        EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/docs/backups/docs"))) << "the copy copied itself";
        if (c.alertContains.isEmpty()) {
            EXPECT_TRUE(m_view.alerts.isEmpty());
        } else {
            ASSERT_EQ(m_view.alerts.size(), 1);
            EXPECT_EQ(m_view.alerts.first().message, QStringLiteral("Can't start backup"));
            EXPECT_TRUE(m_view.alerts.first().informativeText.contains(c.alertContains));
            EXPECT_EQ(m_view.title, QStringLiteral("Backup"));
        }
    }
    EXPECT_FALSE(QFileInfo::exists(m_dest + QStringLiteral("/docs/from-elsewhere.txt")));
    EXPECT_FALSE(QFileInfo(m_dest + QStringLiteral("/docs")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(m_source + QStringLiteral("/docs/a.txt")));
}

TEST_F(BackupRunTest, RestoreOfASourceEndingInSlashCopiesWhatItHolds)
{
    writeFile(m_source + QStringLiteral("/a.txt"), "from the backup\n");
    const QString target = m_dir.filePath(QStringLiteral("Home/Data"));
    writeFile(target + QStringLiteral("/mine.txt"), "mine\n");
    auto controller = makeController();
    m_view.chooserAnswers = {m_source + u'/', target};
    controller->restoreBackup();
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
    EXPECT_EQ(readFile(target + QStringLiteral("/a.txt")), "from the backup\n");
    EXPECT_EQ(readFile(target + QStringLiteral("/mine.txt")), "mine\n");
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/Data")));
    // The sources the controller keeps name the job as before.
    EXPECT_EQ(controller->backupSources, QStringList{m_source});
}

TEST_F(BackupRunTest, TensOfThousandsOfExclusionsGoThroughAPrivateFileRemovedAfterTheRun)
{
    writeFile(m_source + QStringLiteral("/kept.txt"), "k\n");
    QStringList excluded;
    for (int i = 0; i < 40000; ++i)
        excluded << m_source + QStringLiteral("/skipped-%1-a-name-as-long-as-many-real-ones.txt").arg(i);
    for (int i : {0, 39999})
        writeFile(excluded.at(i), "s\n");
    auto controller = makeController();
    controller->backupSources = {m_source};
    controller->backupDest = m_dest;
    controller->excludedFiles = excluded;
    RunResult result = runBackup(*controller);
    EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_dest + QStringLiteral("/Data/kept.txt")));
    EXPECT_FALSE(QFileInfo::exists(m_dest + QStringLiteral("/Data/skipped-0-a-name-as-long-as-many-real-ones.txt")));
    EXPECT_FALSE(
        QFileInfo::exists(m_dest + QStringLiteral("/Data/skipped-39999-a-name-as-long-as-many-real-ones.txt")));
    QStringList fromFiles;
    for (const Argument &row : m_view.rows) {
        if (row.value().startsWith(QStringLiteral("--exclude-from=")))
            fromFiles << row.value().mid(15);
    }
    ASSERT_EQ(fromFiles.size(), 2); // the bundle's list, and the run's own
    EXPECT_FALSE(QFileInfo::exists(fromFiles.last()));
    // Such a file is readable by its owner only.
    RunListFile file(QStringLiteral("exclusions"));
    ASSERT_TRUE(file.open());
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(file.fileName()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST_F(BackupRunTest, RestoreCopiesOnlyTheChosenBackup)
{
    writeFile(m_source + QStringLiteral("/a.txt"), "a\n");
    const QString second = m_source + QStringLiteral("/../second");
    writeFile(second + QStringLiteral("/b.txt"), "b\n");
    const QString target = m_source + QStringLiteral("/../target");
    QDir().mkpath(target);
    auto controller = makeController();
    controller->backupSources = {QDir::cleanPath(second), m_dest};
    m_view.chooserAnswers = {m_source, target};
    controller->restoreBackup();
    RunResult result = waitForRun();
    EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Data/a.txt")));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/second")));
    EXPECT_EQ(controller->backupSources, QStringList{m_source});
}

} // namespace

// --- What the destination can keep ---------------------------------------------

// Each destination is probed for what it can hold; the run says once what
// it cannot keep, and a destination without hard links takes no Snapshot.
// Rows whose file system cannot be mounted here are passed over.
TEST_F(BackupRunTest, TheDestinationIsProbedForWhatItCanKeep)
{
    writeFile(m_source + QStringLiteral("/a.txt"), "a\n");
    const struct
    {
        const char *label;
        const char *fileSystem; // mounted on the destination; none: a folder of the test's own
        bool hardLinks;
        bool xattrsAndAcls;
        const char *notice; // what the run says it cannot keep
    } cases[] = {
        {"a folder of the test's disk", nullptr, true, true, nullptr},
        {"ramfs", "ramfs", true, false, "cannot keep ACLs and extended attributes;"},
        {"vfat", "vfat", false, false, "cannot keep hard links, owners, permissions, ACLs and extended attributes;"},
    };
    int mounted = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        const QString dest = m_dir.filePath(QString::fromLatin1(c.label));
        QDir().mkpath(dest);
        if (c.fileSystem) {
            QString image;
            if (QByteArray(c.fileSystem) == "vfat") {
                image = m_dir.filePath(QStringLiteral("vfat.img"));
                QFile(image).open(QIODevice::WriteOnly);
                QFile::resize(image, 16 << 20);
                QProcess mkfs;
                mkfs.start(QStringLiteral("mkfs.vfat"), {image});
                if (!mkfs.waitForFinished() || mkfs.exitCode() != 0)
                    continue;
            }
            const QStringList options = image.isEmpty()
                ? QStringList{QStringLiteral("-t"), QString::fromLatin1(c.fileSystem), QStringLiteral("none")}
                : QStringList{QStringLiteral("-o"), QStringLiteral("loop"), image};
            if (::geteuid() != 0 || QProcess::execute(QStringLiteral("mount"), options + QStringList{dest}) != 0) {
                std::printf("%s cannot be mounted here; passed over\n", c.label);
                continue;
            }
        }
        ++mounted;
        const auto unmount = qScopeGuard([&] {
            if (c.fileSystem)
                ::umount2(QFile::encodeName(dest).constData(), MNT_DETACH);
        });
        const DestinationCapabilities capabilities = DestinationCapabilities::probe(dest);
        EXPECT_TRUE(capabilities.probed);
        EXPECT_EQ(capabilities.hardLinks, c.hardLinks);
        EXPECT_EQ(capabilities.userXattrs, c.xattrsAndAcls);
        EXPECT_EQ(capabilities.acls, c.xattrsAndAcls);
        EXPECT_EQ(QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

        for (const int modeRow : {0, 1}) {
            SCOPED_TRACE(modeRow);
            m_view.reset();
            m_view.modeRow = modeRow;
            auto controller = makeController();
            controller->backupSources = {m_source};
            controller->backupDest = dest;
            const RunResult result = runBackup(*controller);
            const QStringList said = m_view.statusTexts.filter(QStringLiteral(" cannot "));
            if (modeRow == 1 && !c.hardLinks) {
                EXPECT_EQ(result.outcome, Outcome::Refused);
                EXPECT_TRUE(result.detail.contains(QStringLiteral("cannot hold hard links")))
                    << result.detail.toStdString();
                continue;
            }
            EXPECT_EQ(result.outcome, Outcome::Completed) << result.detail.toStdString();
            if (!c.notice) {
                EXPECT_EQ(said, QStringList());
            } else {
                ASSERT_EQ(said.size(), 1);
                EXPECT_TRUE(said.first().contains(QString::fromLatin1(c.notice))) << said.first().toStdString();
            }
        }
    }
    if (mounted < 2)
        GTEST_SKIP() << "no file system that lacks extended attributes could be mounted";
}
