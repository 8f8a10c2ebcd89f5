#include "BundleLocation.h"
#include "SnapshotFolders.h"
#include "SnapshotRotation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QDateTime farFuture(QDate(9999, 1, 1), QTime(0, 0));

// Every trusted snapshot counts for this job.
SnapshotOwnership anyJob()
{
    return SnapshotOwnership({{}, QString(), {}}, {::geteuid()}, farFuture);
}

void makeTree(const QString &root, int files)
{
    QDir().mkpath(root + QStringLiteral("/sub"));
    for (int i = 0; i < files; ++i) {
        QFile file(root + QStringLiteral("/sub/file-%1.txt").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write("x");
    }
}

struct Recorder
{
    QStringList statuses;
    int finished = 0;
    bool stopAfterFirstChunk = false;
    int stopChecks = 0;

    SnapshotRemover::Callbacks callbacks()
    {
        return {[this](const QString &status) { statuses << status; },
                [this](const QString &status) { statuses << status; }, [this] { ++finished; },
                [this] { return stopAfterFirstChunk && ++stopChecks >= 1; }};
    }
};

SnapshotRemover bundledRemover()
{
    return SnapshotRemover(auxiliaryToolPath(QStringLiteral("dropcount")));
}

} // namespace

TEST(SnapshotRotation, RemovesTheOldestSnapshotAndNothingElse)
{
    QTemporaryDir destination;
    const QString d = destination.path();
    const QStringList entries{
        QStringLiteral("VLM Snapshot 01-12-2026 Tue 21-00 PM"), QStringLiteral("VLM Snapshot 02-12-2026 Wed 21-00 PM"),
        QStringLiteral("VLM Snapshot old"), QStringLiteral(".VLM Snapshot 01-01-2020 Wed 21-00 PM"),
        QStringLiteral("Other 01-01-2020")};
    for (const QString &entry : entries)
        makeTree(d + QLatin1Char('/') + entry, 3);
    // A link that looks like an old snapshot is never a snapshot folder.
    QDir outside(d + QStringLiteral("/Other 01-01-2020"));
    QFile::link(outside.path(), d + QStringLiteral("/VLM Snapshot 01-01-2019 Tue 21-00 PM"));

    EXPECT_EQ(SnapshotRotation::listSnapshotFolders(d).size(), 3);

    Recorder recorder;
    // After a good run with a limit of 1: the dated snapshot that is not the
    // link destination goes; the undated one neither counts nor goes.
    const RotationReport report = SnapshotRotation::rotate(
        d, anyJob(), RetentionRule(1), farFuture, {d + QStringLiteral("/VLM Snapshot 02-12-2026 Wed 21-00 PM/")},
        bundledRemover(), recorder.callbacks());
    EXPECT_EQ(report.removed, QStringList{QStringLiteral("VLM Snapshot 01-12-2026 Tue 21-00 PM")});
    EXPECT_TRUE(report.failures.isEmpty());
    const QString removed = d + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM");
    EXPECT_FALSE(QFileInfo::exists(removed));
    EXPECT_FALSE(QFileInfo::exists(d + QStringLiteral("/.VLM Snapshot 01-12-2026 Tue 21-00 PM.removing")));
    for (const QString &kept : entries.mid(1))
        EXPECT_TRUE(QFileInfo::exists(d + QLatin1Char('/') + kept)) << qPrintable(kept);
    EXPECT_TRUE(QFileInfo(d + QStringLiteral("/VLM Snapshot 01-01-2019 Tue 21-00 PM")).isSymLink());
    EXPECT_EQ(outside.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    EXPECT_EQ(recorder.statuses.value(0), QStringLiteral("Deleting old backup: VLM Snapshot 01-12-2026 Tue 21-00 PM"));
    EXPECT_EQ(recorder.finished, 1);
}

TEST(SnapshotRotation, NothingIsRemovedBelowTheLimitOrFromAMissingDestination)
{
    QTemporaryDir destination;
    makeTree(destination.path() + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM"), 1);
    Recorder recorder;
    EXPECT_TRUE(SnapshotRotation::rotate(destination.path(), anyJob(), RetentionRule(1), farFuture, {},
                                         bundledRemover(), recorder.callbacks())
                    .removed.isEmpty());
    EXPECT_TRUE(SnapshotRotation::rotate(destination.path() + QStringLiteral("/missing"), anyJob(), RetentionRule(1),
                                         farFuture, {}, bundledRemover(), recorder.callbacks())
                    .removed.isEmpty());
    EXPECT_TRUE(recorder.statuses.isEmpty());
}

TEST(SnapshotRotation, LargeRemovalReportsProgressInBatches)
{
    QTemporaryDir destination;
    const QString snapshot = destination.path() + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM");
    makeTree(snapshot, 2500);
    Recorder recorder;
    EXPECT_EQ(bundledRemover().deleteOldBackup(snapshot, recorder.callbacks()), SnapshotRemover::Outcome::Finished);
    EXPECT_FALSE(QFileInfo::exists(snapshot));
    ASSERT_GE(recorder.statuses.size(), 3);
    EXPECT_TRUE(recorder.statuses.at(1).startsWith(
        QStringLiteral("Deleting old backup \"VLM Snapshot 01-12-2026 Tue 21-00 PM\". Files deleted: ")));
}

TEST(SnapshotRotation, StopInterruptsTheRemoverAndLeavesTheRestForLater)
{
    QTemporaryDir destination;
    const QString snapshot = destination.path() + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM");
    // Far more output than a pipe holds, so the remover is still at work
    // when the first chunk has been read.
    makeTree(snapshot, 20000);
    Recorder recorder;
    recorder.stopAfterFirstChunk = true;
    EXPECT_EQ(bundledRemover().deleteOldBackup(snapshot, recorder.callbacks()), SnapshotRemover::Outcome::Stopped);
    EXPECT_TRUE(QFileInfo::exists(snapshot));
    EXPECT_EQ(recorder.finished, 0);
    EXPECT_EQ(SnapshotRotation::listSnapshotFolders(destination.path()).size(), 1);
}

// A remover that cannot start no longer retries six times in silence: the
// failure names the snapshot, and the folder waits under its retiring name
// for the next run.
TEST(SnapshotRotation, MissingRemoverIsReported)
{
    QTemporaryDir destination;
    const QString name = QStringLiteral("VLM Snapshot 01-12-2026 Tue 21-00 PM");
    makeTree(destination.path() + QLatin1Char('/') + name, 1);
    makeTree(destination.path() + QStringLiteral("/VLM Snapshot 02-12-2026 Wed 21-00 PM"), 1);
    Recorder recorder;
    const SnapshotRemover missing(QStringLiteral("/nonexistent/dropcount"));
    const RotationReport report = SnapshotRotation::rotate(destination.path(), anyJob(), RetentionRule(1), farFuture,
                                                           {}, missing, recorder.callbacks());
    ASSERT_EQ(report.failures.size(), 1);
    EXPECT_EQ(report.failures.constFirst().snapshotName, name);
    EXPECT_TRUE(report.failureText().startsWith(QStringLiteral("Could not remove the old snapshot \"") + name
                                                + QStringLiteral("\": the remover could not start")))
        << qPrintable(report.failureText());
    EXPECT_EQ(recorder.statuses.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(destination.path() + QLatin1Char('/') + name));
    EXPECT_EQ(SnapshotRotation::hiddenFolders(destination.path(), SnapshotFolders::isRetiringFolderName).size(), 1);
}
