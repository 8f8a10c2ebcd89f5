// Snapshot runs against real folders with the bundle's rsync and remover:
// each run goes through a SnapshotSession the way the controller drives it
// (begin, rsync with the application's argument list into the working
// folder, complete only after a good end, rotate), so failed, interrupted,
// concurrent and same-minute runs can be checked on disk. The clock is a
// FixedClock the tests set; nothing here waits on the wall clock.
#include "BackupArguments.h"
#include "TestFiles.h"
#include "BundleLocation.h"
#include "Clock.h"
#include "SnapshotFolders.h"
#include "SnapshotSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

QDateTime at(int day, int hour, int minute = 0, int second = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

// A small tmpfs, unmounted when the guard goes; root only.
class SmallDisk
{
public:
    // The mount point's path after a folder above it was renamed.
    void movedTo(const QString &path) { m_path = QFile::encodeName(path); }
    explicit SmallDisk(const QString &path, const char *options) : m_path(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        m_mounted = ::geteuid() == 0 && ::mount("vlmsmall", m_path.constData(), "tmpfs", 0, options) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

// A job known only by its first source's folder name, as snapshots made
// before they recorded their job are told apart.
SnapshotOwnership ownedBy(const QString &ownerName)
{
    return SnapshotOwnership({{}, ownerName, {}}, {::geteuid()}, QDateTime(QDate(2026, 12, 31), QTime(0, 0)));
}

struct RunResult
{
    QString refusal;
    bool endedWell = false;
    int exitCode = -1;
    QString completionError;
    RotationReport rotation;
    QString snapshotPath;
    QString untrustedNotice;
};

class SnapshotSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(u"Data"_s);
        m_dest = m_dir.filePath(u"Backup"_s);
        QDir().mkpath(m_dest);
        writeFile(m_source + u"/same.txt"_s, "never changes\n");
        writeFile(m_source + u"/deep/changing.txt"_s, "version 0\n");
    }

    // The argument list the application passes for this session.
    QStringList argumentsFor(const SnapshotSession &session, const QString &source) const
    {
        BackupArgumentInput input;
        input.excludeListPath = excludeListPath();
        input.snapshot = true;
        input.linkDest = session.linkDest();
        input.backupSources = input.trimmedSources = trimmedSources({source});
        input.backupDest = withTrailingSlash(m_dest);
        input.snapshotFolderName = session.workingFolderName();
        input.resumingFolder = session.reusesWorkingFolder();
        return backupArgumentList(input);
    }

    // One Snapshot run; `onOutput` sees rsync's output as it comes and may
    // kill it. The clock stands at `start`.
    RunResult snapshotRun(const QDateTime &start, qint64 keep = 0, const QString &source = QString(),
                          const std::function<void(QProcess &, const QByteArray &)> &onOutput = {},
                          const SnapshotRemover::Callbacks &removal = {})
    {
        m_clock.setNow(start);
        const QString from = source.isEmpty() ? m_source : source;
        SnapshotSession session(m_clock, {}, [this] {
            m_clock.advanceSeconds(60);
            return true;
        });
        RunResult result;
        const SnapshotJob job{m_dest,
                              SnapshotFolders::ownerFolderName(from),
                              m_recordedLinkDest,
                              {QDir::cleanPath(from)},
                              m_otherOwnerNames};
        if (const std::optional<QString> refusal = session.begin(job, english)) {
            result.refusal = *refusal;
            return result;
        }
        QProcess rsync;
        rsync.setProcessChannelMode(QProcess::MergedChannels);
        rsync.start(auxiliaryToolPath(u"rsync"_s), m_extraArguments + argumentsFor(session, from));
        EXPECT_TRUE(rsync.waitForStarted(-1));
        QByteArray output;
        while (rsync.waitForReadyRead(-1) || rsync.bytesAvailable() > 0) {
            const QByteArray chunk = rsync.readAll();
            output += chunk;
            if (onOutput)
                onOutput(rsync, chunk);
        }
        rsync.waitForFinished(-1);
        m_lastOutput = output;
        result.exitCode = rsync.exitStatus() == QProcess::NormalExit ? rsync.exitCode() : -1;
        const bool summary = output.contains("\nNumber of files: ");
        result.endedWell = SnapshotFolders::runEndedWell(
            summary, rsync.exitStatus() == QProcess::NormalExit ? std::optional<int>(rsync.exitCode()) : std::nullopt);
        if (result.endedWell) {
            result.untrustedNotice = session.untrustedSnapshotsNotice();
            result.completionError = session.complete().value_or(QString());
            if (session.isComplete())
                m_recordedLinkDest = result.snapshotPath = session.snapshotPath();
            result.rotation
                = session.rotate(RetentionRule(keep), SnapshotRemover(auxiliaryToolPath(u"dropcount"_s)), removal);
        }
        session.end();
        waitForOrphans();
        return result;
    }

    // After a kill of the first rsync process its helpers may still be
    // ending; they hold the destination's lock until they have.
    void waitForOrphans() const
    {
        const int fd = ::open(QFile::encodeName(m_dest + u'/' + DestinationLock::fileName()).constData(), O_RDWR);
        if (fd < 0)
            return;
        ::flock(fd, LOCK_EX);
        ::close(fd);
    }

    QStringList snapshots() const
    {
        return QDir(m_dest).entryList({u"VLM Snapshot *"_s}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList workingFolders() const
    {
        return QDir(m_dest).entryList({u".VLM Snapshot *.incomplete"_s}, QDir::Dirs | QDir::Hidden, QDir::Name);
    }
    QString snapshotFile(const QString &name, const QString &relative) const
    {
        return m_dest + u'/' + name + u"/Data/"_s + relative;
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    QString m_recordedLinkDest;
    QStringList m_otherOwnerNames;
    QStringList m_extraArguments;
    QByteArray m_lastOutput;
    FixedClock m_clock{at(6, 12)};
};

TEST_F(SnapshotSessionTest, AGoodRunNamesItsSnapshotOnlyAtTheEnd)
{
    const RunResult first = snapshotRun(at(6, 21));
    ASSERT_TRUE(first.endedWell) << first.exitCode;
    EXPECT_EQ(snapshots(), QStringList{u"VLM Snapshot 06-12-2026 Sun 21-00 PM"_s});
    EXPECT_TRUE(workingFolders().isEmpty());
    EXPECT_EQ(readFile(snapshotFile(snapshots().constFirst(), u"same.txt"_s)), "never changes\n");
    // The next run links against it: unchanged files share their inode.
    const RunResult second = snapshotRun(at(7, 21));
    ASSERT_TRUE(second.endedWell);
    EXPECT_EQ(QFileInfo(snapshotFile(snapshots().at(0), u"same.txt"_s)).fileName(), u"same.txt"_s);
    struct stat a = {}, b = {};
    ::stat(QFile::encodeName(snapshotFile(snapshots().at(0), u"same.txt"_s)).constData(), &a);
    ::stat(QFile::encodeName(snapshotFile(snapshots().at(1), u"same.txt"_s)).constData(), &b);
    EXPECT_EQ(a.st_ino, b.st_ino);
}

TEST_F(SnapshotSessionTest, DiskFullRunsNeverCostAGoodSnapshot)
{
    SmallDisk disk(m_dest, "size=2m");
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a 2 MiB tmpfs for the disk-full runs";
    ASSERT_TRUE(snapshotRun(at(1, 21), 3).endedWell);
    writeFile(m_source + u"/deep/changing.txt"_s, "version 1, longer\n");
    ASSERT_TRUE(snapshotRun(at(2, 21), 3).endedWell);
    const QStringList good = snapshots();
    ASSERT_EQ(good.size(), 2);

    // Three runs that each run out of space.
    writeFile(m_source + u"/big.bin"_s, QByteArray(3 * 1024 * 1024, 'b'));
    for (int day = 3; day <= 5; ++day) {
        const RunResult failed = snapshotRun(at(day, 21), 3);
        EXPECT_FALSE(failed.endedWell) << "day " << day << " exit " << failed.exitCode;
        EXPECT_EQ(snapshots(), good) << "day " << day;
        EXPECT_LE(workingFolders().size(), 1) << "each failed run resumes the same working folder";
    }
    EXPECT_EQ(readFile(snapshotFile(good.at(0), u"deep/changing.txt"_s)), "version 0\n");
    EXPECT_EQ(readFile(snapshotFile(good.at(1), u"deep/changing.txt"_s)), "version 1, longer\n");
    EXPECT_EQ(m_recordedLinkDest, m_dest + u'/' + good.at(1) + u'/');

    // Space again: the next run completes the chain, linked to the last good one.
    QFile::remove(m_source + u"/big.bin"_s);
    const RunResult recovered = snapshotRun(at(6, 21), 3);
    ASSERT_TRUE(recovered.endedWell) << recovered.exitCode;
    EXPECT_EQ(snapshots(), good + QStringList{u"VLM Snapshot 06-12-2026 Sun 21-00 PM"_s});
    EXPECT_TRUE(workingFolders().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(snapshotFile(snapshots().at(2), u"big.bin"_s)));
    EXPECT_EQ(readFile(snapshotFile(snapshots().at(2), u"deep/changing.txt"_s)), "version 1, longer\n");
}

TEST_F(SnapshotSessionTest, InterruptedCopyLeavesNoSnapshotNameAndIsResumed)
{
    ASSERT_TRUE(snapshotRun(at(1, 21), 3).endedWell);
    writeFile(m_source + u"/big.bin"_s, QByteArray(64 * 1024 * 1024, 'q'));
    m_extraArguments = {u"--bwlimit=8000"_s}; // slow enough that the signal lands mid-copy
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        const RunResult killed
            = snapshotRun(at(2, 21), 3, QString(), [signal](QProcess &rsync, const QByteArray &chunk) {
                  if (chunk.contains('%'))
                      ::kill(pid_t(rsync.processId()), signal);
              });
        EXPECT_FALSE(killed.endedWell);
        EXPECT_TRUE(killed.refusal.isEmpty()) << qPrintable(killed.refusal);
        EXPECT_EQ(snapshots(), QStringList{u"VLM Snapshot 01-12-2026 Tue 21-00 PM"_s});
        EXPECT_EQ(workingFolders().size(), 1);
    }
    m_extraArguments.clear();
    const RunResult resumed = snapshotRun(at(3, 21), 3);
    ASSERT_TRUE(resumed.endedWell) << resumed.exitCode << qPrintable(resumed.refusal) << m_lastOutput.toStdString();
    EXPECT_EQ(snapshots().size(), 2);
    EXPECT_TRUE(workingFolders().isEmpty());
    EXPECT_EQ(QFileInfo(snapshotFile(snapshots().at(1), u"big.bin"_s)).size(), 64 * 1024 * 1024);
    EXPECT_FALSE(QFileInfo::exists(m_dest + u'/' + snapshots().at(1) + u"/Data/.rsync-partial"_s));
}

TEST_F(SnapshotSessionTest, AResumedFolderLosesWhatLeftTheSource)
{
    ASSERT_TRUE(snapshotRun(at(1, 21)).endedWell);
    // A leftover working folder holding a file the source no longer has.
    const QString leftover = m_dest + u"/.VLM Snapshot 02-12-2026 Wed 21-00 PM.incomplete"_s;
    writeFile(leftover + u"/Data/gone.txt"_s, "deleted from the source since\n");
    const RunResult run = snapshotRun(at(3, 21));
    ASSERT_TRUE(run.endedWell);
    EXPECT_EQ(snapshots().size(), 2);
    EXPECT_FALSE(QFileInfo::exists(snapshotFile(snapshots().at(1), u"gone.txt"_s)));
    EXPECT_EQ(readFile(snapshotFile(snapshots().at(1), u"same.txt"_s)), "never changes\n");
}

// A leftover of a linked run holds hard links to the snapshot it linked
// against; completing it must not change that snapshot's files in place.
TEST_F(SnapshotSessionTest, CompletingALeftoverNeverChangesASnapshot)
{
    ASSERT_TRUE(snapshotRun(at(1, 21)).endedWell);
    const QString first = m_dest + u'/' + snapshots().constFirst() + u'/';
    const QString reference = m_dir.filePath(u"reference/"_s);
    const QString leftover = m_dest + u"/.VLM Snapshot 02-12-2026 Wed 21-00 PM.incomplete/"_s;
    for (const auto &[from, to] : {std::pair{first, reference}, std::pair{first, leftover}}) {
        QProcess copy;
        // The leftover as a cut-off linked run leaves it: links, not copies.
        const QStringList link = to == leftover ? QStringList{u"--link-dest="_s + first} : QStringList{};
        copy.start(auxiliaryToolPath(u"rsync"_s), QStringList{u"-aH"_s} + link + QStringList{from, to});
        ASSERT_TRUE(copy.waitForFinished(-1));
        ASSERT_EQ(copy.exitCode(), 0);
    }
    ::chmod(QFile::encodeName(m_source + u"/same.txt"_s).constData(), 0600);

    const RunResult run = snapshotRun(at(3, 21));
    ASSERT_TRUE(run.endedWell);
    EXPECT_TRUE(workingFolders().isEmpty());
    EXPECT_EQ(QFileInfo(snapshotFile(snapshots().at(1), u"same.txt"_s)).permissions() & QFileDevice::ReadGroup,
              QFileDevice::Permissions());
    QProcess compare;
    compare.setProcessChannelMode(QProcess::MergedChannels);
    compare.start(auxiliaryToolPath(u"rsync"_s), {u"-anciH"_s, u"--delete"_s, first, reference});
    ASSERT_TRUE(compare.waitForFinished(-1));
    EXPECT_EQ(compare.readAll(), QByteArray()) << "the first snapshot changed";
}

TEST_F(SnapshotSessionTest, StopDuringRotationLeavesNoHalfSnapshot)
{
    ASSERT_TRUE(snapshotRun(at(1, 21), 1).endedWell);
    // Far more files than a pipe's worth of the remover's output.
    const QString oldest = m_dest + u'/' + snapshots().constFirst();
    for (int i = 0; i < 6000; ++i)
        writeFile(oldest + u"/Data/many/f%1"_s.arg(i), "x");
    ASSERT_TRUE(snapshotRun(at(2, 21), 1).endedWell);
    // Keep 1: the third run removes the first snapshot, and is stopped there.
    SnapshotRemover::Callbacks stopAtOnce;
    stopAtOnce.userSaidStop = [] { return true; };
    const RunResult stopped = snapshotRun(at(3, 21), 1, QString(), {}, stopAtOnce);
    ASSERT_TRUE(stopped.endedWell);
    EXPECT_TRUE(stopped.rotation.stopped);
    EXPECT_EQ(snapshots(),
              (QStringList{u"VLM Snapshot 02-12-2026 Wed 21-00 PM"_s, u"VLM Snapshot 03-12-2026 Thu 21-00 PM"_s}));
    EXPECT_TRUE(QFileInfo::exists(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 21-00 PM.removing"_s));
    // The next run clears the leftover.
    const RunResult next = snapshotRun(at(4, 21), 1);
    EXPECT_EQ(next.rotation.removed.value(0), u"VLM Snapshot 01-12-2026 Tue 21-00 PM"_s);
    EXPECT_FALSE(QFileInfo::exists(m_dest + u"/.VLM Snapshot 01-12-2026 Tue 21-00 PM.removing"_s));
}

TEST_F(SnapshotSessionTest, TwoJobsKeepTheirOwnCounts)
{
    const QString other = m_dir.filePath(u"Other"_s);
    writeFile(other + u"/b.txt"_s, "job b\n");
    for (int day = 1; day <= 3; ++day)
        ASSERT_TRUE(snapshotRun(at(day, 20), 10, other).endedWell);
    m_recordedLinkDest.clear();
    for (int day = 1; day <= 4; ++day)
        ASSERT_TRUE(snapshotRun(at(day, 21), 2).endedWell);
    QStringList ofB, ofA;
    for (const QString &name : snapshots())
        (QFileInfo::exists(m_dest + u'/' + name + u"/Other"_s) ? ofB : ofA) << name;
    EXPECT_EQ(ofB.size(), 3);
    EXPECT_EQ(ofA, (QStringList{u"VLM Snapshot 03-12-2026 Thu 21-00 PM"_s, u"VLM Snapshot 04-12-2026 Fri 21-00 PM"_s}));
}

TEST_F(SnapshotSessionTest, SecondRunIntoALockedDestinationRefuses)
{
    SnapshotSession first(m_clock);
    ASSERT_FALSE(first.begin({m_dest, u"Data"_s, QString(), {}, {}}, english));
    const RunResult second = snapshotRun(at(6, 22));
    EXPECT_EQ(second.refusal, DestinationLock::busyText(m_dest));
    EXPECT_TRUE(second.refusal.contains(m_dest)) << qPrintable(second.refusal);
    // A child given the lock (as the copy program is) keeps it after the
    // run's own hold has ended.
    QProcess child;
    const int lockFd = first.lock().descriptor();
    child.setChildProcessModifier([lockFd] { ::dup2(lockFd, 3); });
    child.start(u"sleep"_s, {u"30"_s});
    ASSERT_TRUE(child.waitForStarted(-1));
    first.end();
    EXPECT_FALSE(snapshotRun(at(6, 23)).refusal.isEmpty());
    child.kill();
    child.waitForFinished(-1);
    const RunResult after = snapshotRun(at(6, 23, 30));
    EXPECT_TRUE(after.refusal.isEmpty()) << qPrintable(after.refusal);
    EXPECT_TRUE(after.endedWell);
}

TEST_F(SnapshotSessionTest, SnapshotsNamedInAnotherLocaleRotate)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QStringList germanNames;
    for (int day = 1; day <= 3; ++day) {
        germanNames << SnapshotFolders::snapshotFolderName(at(day, 21), german);
        writeFile(m_dest + u'/' + germanNames.last() + u"/Data/same.txt"_s, "never changes\n");
    }
    const RunResult run = snapshotRun(at(8, 21), 2);
    ASSERT_TRUE(run.endedWell);
    // The newest German one was the link destination; the two older ones go.
    EXPECT_EQ(run.rotation.removed, germanNames.mid(0, 2));
    EXPECT_EQ(snapshots(), (QStringList{germanNames.at(2), u"VLM Snapshot 08-12-2026 Tue 21-00 PM"_s}));
}

TEST_F(SnapshotSessionTest, SameMinuteRunWaitsAndLeavesTheFirstIdentical)
{
    ASSERT_TRUE(snapshotRun(at(6, 21, 0, 5)).endedWell);
    const QString first = m_dest + u"/VLM Snapshot 06-12-2026 Sun 21-00 PM/"_s;
    const QString reference = m_dir.filePath(u"reference/"_s);
    QProcess copy;
    copy.start(auxiliaryToolPath(u"rsync"_s), {u"-aH"_s, first, reference});
    ASSERT_TRUE(copy.waitForFinished(-1));

    writeFile(m_source + u"/deep/changing.txt"_s, "version 1, longer\n");
    QFile::setPermissions(m_source + u"/same.txt"_s, QFileDevice::ReadOwner);
    const RunResult second = snapshotRun(at(6, 21, 0, 40));
    ASSERT_TRUE(second.endedWell);
    EXPECT_EQ(second.snapshotPath, m_dest + u"/VLM Snapshot 06-12-2026 Sun 21-01 PM/"_s);

    QProcess compare;
    compare.setProcessChannelMode(QProcess::MergedChannels);
    compare.start(auxiliaryToolPath(u"rsync"_s), {u"-anciH"_s, u"--delete"_s, first, reference});
    ASSERT_TRUE(compare.waitForFinished(-1));
    EXPECT_EQ(compare.exitCode(), 0);
    EXPECT_EQ(compare.readAll(), QByteArray()) << "the first snapshot changed";
}

TEST_F(SnapshotSessionTest, UndeletableOldSnapshotIsReported)
{
    ASSERT_TRUE(snapshotRun(at(1, 21), 1).endedWell);
    const QString oldest = m_dest + u'/' + snapshots().constFirst();
    const QString stuck = oldest + u"/Data/stuck"_s;
    const QString busy = m_dir.filePath(u"empty"_s);
    QDir().mkpath(stuck);
    QDir().mkpath(busy);
    writeFile(stuck + u"/inside.txt"_s, "x");
    // Root removes anything from a read-only folder; a mount point it cannot.
    SmallDisk mountPoint(stuck, "size=64k");
    if (!mountPoint.mounted())
        QFile::setPermissions(stuck, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(snapshotRun(at(2, 21), 1).endedWell);
    const RunResult third = snapshotRun(at(3, 21), 1);
    ASSERT_TRUE(third.endedWell);
    ASSERT_EQ(third.rotation.failures.size(), 1);
    EXPECT_EQ(third.rotation.failures.constFirst().snapshotName, u"VLM Snapshot 01-12-2026 Tue 21-00 PM"_s);
    EXPECT_FALSE(third.rotation.failures.constFirst().reason.isEmpty());
    EXPECT_TRUE(third.rotation.failureText().startsWith(
        u"Could not remove the old snapshot \"VLM Snapshot 01-12-2026 Tue 21-00 PM\": "_s))
        << qPrintable(third.rotation.failureText());
    // It no longer counts as a snapshot, and is tried again on every run.
    EXPECT_EQ(snapshots().size(), 2);
    const RunResult fourth = snapshotRun(at(4, 21), 1);
    EXPECT_EQ(fourth.rotation.failures.value(0).snapshotName, u"VLM Snapshot 01-12-2026 Tue 21-00 PM"_s);
    const QString moved = m_dest + u"/.VLM Snapshot 01-12-2026 Tue 21-00 PM.removing/Data/stuck"_s;
    mountPoint.movedTo(moved);
    QFile::setPermissions(moved, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

namespace {

QByteArray checksum(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray("(unreadable)");
    return hash.result().toHex();
}

// A Sync run with the application's argument list (plus a bandwidth limit,
// so a kill lands mid-file); `onOutput` may kill it.
int syncRun(const QString &source, const QString &dest,
            const std::function<void(QProcess &, const QByteArray &)> &onOutput)
{
    BackupArgumentInput input;
    input.excludeListPath = excludeListPath();
    input.backupSources = input.trimmedSources = {source};
    input.backupDest = withTrailingSlash(dest);
    QProcess rsync;
    rsync.setProcessChannelMode(QProcess::MergedChannels);
    rsync.start(auxiliaryToolPath(u"rsync"_s), QStringList{u"--bwlimit=20000"_s} + backupArgumentList(input));
    rsync.waitForStarted(-1);
    while (rsync.waitForReadyRead(-1) || rsync.bytesAvailable() > 0) {
        const QByteArray chunk = rsync.readAll();
        if (onOutput)
            onOutput(rsync, chunk);
    }
    rsync.waitForFinished(-1);
    return rsync.exitStatus() == QProcess::NormalExit ? rsync.exitCode() : -1;
}

} // namespace

TEST(SyncInterrupted, KillDuringACopyKeepsEveryMirroredFile)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"Data"_s);
    const QString mirror = dir.filePath(u"Mirror"_s);
    const QStringList names{u"one.bin"_s, u"two.bin"_s, u"three.bin"_s};
    for (const QString &name : names)
        writeFile(source + u'/' + name, QByteArray(16 * 1024 * 1024, name.at(0).toLatin1()));
    ASSERT_EQ(syncRun(source, mirror, {}), 0);
    QMap<QString, QByteArray> before;
    for (const QString &name : names)
        before[name] = checksum(mirror + u"/Data/"_s + name);

    // New contents of a new size (so rsync's quick check sees the change),
    // then kill -9 of rsync while the first file is being written.
    for (const QString &name : names)
        writeFile(source + u'/' + name, QByteArray(16 * 1024 * 1024 + 7, 'n'));
    bool killed = false;
    syncRun(source, mirror, [&killed](QProcess &rsync, const QByteArray &chunk) {
        if (!killed && chunk.contains('%')) {
            killed = true;
            ::kill(pid_t(rsync.processId()), SIGKILL);
        }
    });
    ASSERT_TRUE(killed);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = mirror + u"/Data/"_s + name;
        const bool untouched = checksum(path) == before.value(name);
        const bool replacedWhole = checksum(path) == checksum(source + u'/' + name);
        EXPECT_TRUE(untouched || replacedWhole) << "a cut-off copy took the place of the mirrored file";
    }
}

TEST(SnapshotSessionChoices, OnlyACompleteSnapshotIsALinkDestination)
{
    QTemporaryDir dir;
    const QString dest = dir.path();
    const QString older = dest + u"/VLM Snapshot 01-12-2026 Tue 21-00 PM"_s;
    const QString newer = dest + u"/VLM Snapshot 02-12-2026 Wed 21-00 PM"_s;
    const QString otherJob = dest + u"/VLM Snapshot 03-12-2026 Thu 21-00 PM"_s;
    const QString working = dest + u"/.VLM Snapshot 04-12-2026 Fri 21-00 PM.incomplete"_s;
    writeFile(older + u"/Data/a"_s, "a");
    writeFile(newer + u"/Data/a"_s, "a");
    writeFile(otherJob + u"/Other/a"_s, "a");
    writeFile(working + u"/Data/a"_s, "a");
    QFile::link(older, dest + u"/VLM Snapshot 05-12-2026 Sat 21-00 PM"_s);
    const struct
    {
        const char *name;
        QString recorded;
        QString owner;
        QString chosen;
    } cases[] = {
        {"the recorded complete snapshot", older + u'/', u"Data"_s, older + u'/'},
        {"recorded without a slash", older, u"Data"_s, older + u'/'},
        {"recorded but gone: the job's newest", dest + u"/VLM Snapshot 09-09-2026 Wed 21-00 PM/"_s, u"Data"_s,
         newer + u'/'},
        {"recorded working folder: the job's newest", working + u'/', u"Data"_s, newer + u'/'},
        {"recorded link: the job's newest", dest + u"/VLM Snapshot 05-12-2026 Sat 21-00 PM/"_s, u"Data"_s,
         newer + u'/'},
        {"nothing recorded: the job's newest", QString(), u"Data"_s, newer + u'/'},
        {"another job's newest", QString(), u"Other"_s, otherJob + u'/'},
        {"a job with no snapshot", QString(), u"None"_s, QString()},
        {"unknown owner: the newest of all", QString(), QString(), otherJob + u'/'},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(SnapshotSession::chooseLinkDest(testCase.recorded, dest, ownedBy(testCase.owner)), testCase.chosen);
    }
    EXPECT_EQ(SnapshotSession::leftoverWorkingFolder(dest, ownedBy(u"Data"_s), {::geteuid()}), working);
    EXPECT_EQ(SnapshotSession::leftoverWorkingFolder(dest, ownedBy(u"Other"_s), {::geteuid()}), QString());
    // Another account's working folder is never written into.
    EXPECT_EQ(SnapshotSession::leftoverWorkingFolder(dest, ownedBy(u"Data"_s), {::geteuid() + 1}), QString());
}

TEST(SnapshotSessionChoices, ADestinationThatCannotHoldTheLockIsRefusedWithItsName)
{
    QTemporaryDir dir;
    FixedClock clock(at(6, 21));
    SnapshotSession session(clock);
    const QString missing = dir.filePath(u"missing"_s);
    const std::optional<QString> refusal = session.begin({missing, u"Data"_s, QString(), {}, {}});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_TRUE(refusal->startsWith(u"Cannot lock the destination "_s + missing)) << qPrintable(*refusal);
    EXPECT_FALSE(session.lock().isHeld());
}

TEST(SnapshotOwnership, OnlyTrustedSnapshotsOfTheJobAreItsOwn)
{
    using Verdict = SnapshotOwnership::Verdict;
    const SnapshotIdentity jobA{{u"/a/Data"_s}, u"/Backup"_s};
    const SnapshotIdentity jobB{{u"/b/Data"_s}, u"/Backup"_s};
    const QDateTime now = at(6, 12);
    const uid_t me = 1000;
    const uid_t other = 1001;
    const struct
    {
        const char *name;
        QStringList otherOwnerNames;
        SnapshotFacts facts;
        Verdict verdict;
    } cases[] = {
        {"its own record", {u"Data"_s}, {me, at(5, 12), jobA, {u"Data"_s}}, Verdict::Own},
        {"its own record, trailing slashes aside",
         {},
         {me, at(5, 12), SnapshotIdentity{{u"/a/Data/"_s}, u"/Backup/"_s}, {}},
         Verdict::Own},
        {"another job of the same folder name", {u"Data"_s}, {me, at(5, 12), jobB, {u"Data"_s}}, Verdict::OtherJob},
        {"made by root", {}, {0, at(5, 12), jobA, {u"Data"_s}}, Verdict::Own},
        {"another account's, with the job's record", {}, {other, at(5, 12), jobA, {u"Data"_s}}, Verdict::OtherAccount},
        {"dated years ahead", {}, {me, at(5, 12).addYears(73), jobA, {u"Data"_s}}, Verdict::FutureDate},
        {"dated hours ahead (clocks of another zone)", {}, {me, at(6, 20), jobA, {u"Data"_s}}, Verdict::Own},
        {"no record, the only job that could own it", {u"Photos"_s}, {me, at(5, 12), {}, {u"Data"_s}}, Verdict::Own},
        {"no record, two jobs could own it", {u"Data"_s}, {me, at(5, 12), {}, {u"Data"_s}}, Verdict::Undecided},
        {"no record, a job of the contents could own it",
         {QString()},
         {me, at(5, 12), {}, {u"Data"_s}},
         Verdict::Undecided},
        {"no record, not the job's folder", {}, {me, at(5, 12), {}, {u"Photos"_s}}, Verdict::OtherJob},
    };
    const SnapshotOwnership::Job base{jobA, u"Data"_s, {}};
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        SnapshotOwnership::Job job = base;
        job.otherOwnerNames = testCase.otherOwnerNames;
        EXPECT_EQ(SnapshotOwnership(job, {me, 0}, now).judge(testCase.facts), testCase.verdict);
    }
}

// Two jobs whose sources share a folder name, one destination: each keeps,
// links against and rotates only its own snapshots, even where the other's
// files have the same size and time; a folder another account planted,
// dated far ahead, is neither linked nor counted, and is named.
TEST_F(SnapshotSessionTest, JobsOfOneFolderNameAndPlantedSnapshotsStayApart)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a folder of another account needs root to make";
    const QString sourceB = m_dir.filePath(u"b/Data"_s);
    writeFile(sourceB + u"/same.txt"_s, "NEVER CHANGES\n");
    writeFile(sourceB + u"/deep/changing.txt"_s, "VERSION 0\n");
    for (const QString &file : {u"/same.txt"_s, u"/deep/changing.txt"_s}) {
        const QDateTime time = QFileInfo(m_source + file).lastModified();
        QFile b(sourceB + file);
        ASSERT_TRUE(b.open(QIODevice::ReadWrite) && b.setFileTime(time, QFileDevice::FileModificationTime));
    }
    m_otherOwnerNames = {u"Data"_s};
    ASSERT_TRUE(snapshotRun(at(6, 10), 0, sourceB).endedWell);
    ASSERT_TRUE(snapshotRun(at(6, 11), 0, sourceB).endedWell);
    const QStringList snapshotsOfB = snapshots();

    const QString planted = m_dest + u"/VLM Snapshot 31-12-2099 Thu 12-00 PM"_s;
    writeFile(planted + u"/Data/same.txt"_s, "NEVER CHANGES\n");
    ASSERT_FALSE(SnapshotRecord::write(planted, {{QDir::cleanPath(m_source)}, m_dest}));
    for (const QString &path : QStringList{planted, planted + u"/Data"_s, planted + u"/Data/same.txt"_s,
                                           planted + u'/' + SnapshotRecord::recordFileName()})
        ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), 65534, 65534), 0);

    m_recordedLinkDest.clear();
    const RunResult first = snapshotRun(at(6, 12), 1);
    ASSERT_TRUE(first.endedWell) << first.exitCode;
    EXPECT_EQ(readFile(first.snapshotPath + u"Data/same.txt"_s), "never changes\n");
    EXPECT_TRUE(first.untrustedNotice.contains(u"VLM Snapshot 31-12-2099 Thu 12-00 PM"_s))
        << first.untrustedNotice.toStdString();
    // The link destination stays for a run; the third run of keep 1 removes
    // the job's first snapshot, and only that.
    const RunResult second = snapshotRun(at(6, 13), 1);
    ASSERT_TRUE(second.endedWell);
    const RunResult third = snapshotRun(at(6, 14), 1);
    ASSERT_TRUE(third.endedWell);
    EXPECT_EQ(second.rotation.removed.size() + third.rotation.removed.size(), 1);
    EXPECT_EQ(third.rotation.removed, QStringList{SnapshotFolders::folderName(first.snapshotPath)});
    const QStringList expected = snapshotsOfB
        + QStringList{SnapshotFolders::folderName(second.snapshotPath), SnapshotFolders::folderName(third.snapshotPath),
                      SnapshotFolders::folderName(planted)};
    EXPECT_EQ(snapshots(), expected);
    EXPECT_EQ(readFile(second.snapshotPath + u"Data/deep/changing.txt"_s), "version 0\n");
}
