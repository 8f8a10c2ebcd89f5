// The run history file: every outcome read back as written, a torn line left
// by a writer killed with SIGKILL costing only that line, and the bound.
#include "RunHistory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

RunRecord recordOf(RunRecord::Outcome outcome, RunRecord::Kind kind, const QString &cause = {})
{
    RunRecord record;
    record.sourcePath = QStringLiteral("/home/u/Pictures");
    record.destPath = QStringLiteral("/media/u/Backup Disk");
    record.started = QDateTime(QDate(2026, 12, 9), QTime(9, 30), QTimeZone(3600));
    record.ended = record.started.addSecs(95);
    record.kind = kind;
    record.outcome = outcome;
    record.cause = cause;
    record.files = 12;
    record.bytes = 1'500'000'000;
    return record;
}

void expectSame(const RunRecord &read, const RunRecord &written)
{
    EXPECT_EQ(read.sourcePath, written.sourcePath);
    EXPECT_EQ(read.destPath, written.destPath);
    EXPECT_EQ(read.started, written.started);
    EXPECT_EQ(read.ended, written.ended);
    EXPECT_EQ(read.kind, written.kind);
    EXPECT_EQ(read.outcome, written.outcome);
    EXPECT_EQ(read.cause, written.cause);
    EXPECT_EQ(read.files, written.files);
    EXPECT_EQ(read.bytes, written.bytes);
    EXPECT_EQ(read.snapshot, written.snapshot);
}

class RunHistoryTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("Run History.jsonl"));
};

TEST_F(RunHistoryTest, EveryOutcomeAndKindReadsBackAsWritten)
{
    using O = RunRecord::Outcome;
    using K = RunRecord::Kind;
    RunRecord snapshot = recordOf(O::Succeeded, K::Snapshot);
    snapshot.snapshot = QStringLiteral("/media/u/Backup Disk/VLM Snapshot 09-12-2026 Wed 09-30 AM/");
    const QList<RunRecord> written{
        snapshot,
        recordOf(O::SucceededWithVanished, K::Sync),
        recordOf(O::Failed, K::Restore, QStringLiteral("Backup failed: rsync: open \"/x\"\nfailed")),
        recordOf(O::Stopped, K::FileManagerCopy),
        recordOf(O::OutOfSpace, K::Snapshot, QStringLiteral("Backup Disk has 38 MB free")),
        recordOf(O::Skipped, K::Sync, QStringLiteral("Backup Disk is not connected")),
    };
    const RunHistory history(m_path);
    for (const RunRecord &record : written)
        ASSERT_TRUE(history.append(record));
    const QList<RunRecord> read = history.read();
    ASSERT_EQ(read.size(), written.size());
    for (qsizetype i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(RunRecords::outcomeWord(written[i].outcome).toStdString());
        expectSame(read[i], written[i]);
    }
    EXPECT_TRUE(read[0].succeeded() && read[1].succeeded() && !read[2].succeeded());
}

TEST_F(RunHistoryTest, AWriterKilledMidLineCostsOnlyThatLine)
{
    const RunHistory history(m_path);
    ASSERT_TRUE(history.append(recordOf(RunRecord::Outcome::Succeeded, RunRecord::Kind::Sync)));
    // A child appends without end until it is killed, wherever it is.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (;;)
            history.append(recordOf(RunRecord::Outcome::Failed, RunRecord::Kind::Sync, QString(500, u'x')));
    }
    while (QFile(m_path).size() < 200'000)
        ::usleep(1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    // What a kill inside write(2) leaves: half a line, no line end.
    {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(RunRecords::toJsonLine(recordOf(RunRecord::Outcome::Stopped, RunRecord::Kind::Sync)).left(40));
    }
    const qsizetype before = history.read().size();
    EXPECT_GT(before, 1);
    ASSERT_TRUE(history.append(recordOf(RunRecord::Outcome::Skipped, RunRecord::Kind::Sync)));
    const QList<RunRecord> after = history.read();
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.first().outcome, RunRecord::Outcome::Succeeded);
    EXPECT_EQ(after.last().outcome, RunRecord::Outcome::Skipped);
}

TEST_F(RunHistoryTest, KeepsTheNewestRecordsWithinItsBound)
{
    const RunHistory history(m_path, 20);
    for (int i = 0; i < 100; ++i) {
        RunRecord record = recordOf(RunRecord::Outcome::Succeeded, RunRecord::Kind::Sync);
        record.files = i;
        ASSERT_TRUE(history.append(record));
    }
    const QList<RunRecord> read = history.read();
    EXPECT_GE(read.size(), 20);
    EXPECT_LE(read.size(), 22);
    EXPECT_EQ(read.last().files, 99);
    EXPECT_EQ(read.first().files, 100 - read.size());
}

} // namespace
