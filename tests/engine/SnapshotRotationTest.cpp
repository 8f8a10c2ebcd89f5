#include "BundleLocation.h"
#include "SnapshotRotation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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
    const std::optional<QString> removed = SnapshotRotation::handleOldBackupRemoval(
        d, 2, d + QStringLiteral("/VLM Snapshot 02-12-2026 Wed 21-00 PM/"), bundledRemover(), recorder.callbacks());
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(*removed, d + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM"));
    EXPECT_FALSE(QFileInfo::exists(*removed));
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
    EXPECT_FALSE(SnapshotRotation::handleOldBackupRemoval(destination.path(), 2, QString(), bundledRemover(),
                                                          recorder.callbacks()));
    EXPECT_FALSE(SnapshotRotation::handleOldBackupRemoval(destination.path() + QStringLiteral("/missing"), 1, QString(),
                                                          bundledRemover(), recorder.callbacks()));
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

TEST(SnapshotRotation, MissingRemoverIsReportedAndRetried)
{
    QTemporaryDir destination;
    makeTree(destination.path() + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM"), 1);
    Recorder recorder;
    const SnapshotRemover missing(QStringLiteral("/nonexistent/dropcount"));
    EXPECT_TRUE(
        SnapshotRotation::handleOldBackupRemoval(destination.path(), 1, QString(), missing, recorder.callbacks()));
    EXPECT_EQ(recorder.statuses.size(), 6); // six attempts, each announced
    EXPECT_TRUE(QFileInfo::exists(destination.path() + QStringLiteral("/VLM Snapshot 01-12-2026 Tue 21-00 PM")));
}
