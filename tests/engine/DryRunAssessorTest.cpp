// The dry run's measurement: line count, byte total, status rate limit.
#include "DryRunAssessor.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

TEST(DryRunAssessor, SameResultWhateverTheChunking)
{
    const struct
    {
        const char *file;
        qint64 lines;
        qint64 bytes;
    } cases[] = {
        {"01-sync-initial-dry-run.out", 194, 12179873},
        {"03-sync-unchanged-dry-run.out", 18, 0},
        {"09-snapshot-linked-dry-run.out", 239, -1},
        {"22-sync-dest-parent-missing.out", 3, 0},
    };
    for (const auto &c : cases) {
        const QByteArray data = fixture(c.file);
        for (qsizetype chunkSize : {qsizetype(1), qsizetype(3), qsizetype(7), qsizetype(4096), data.size() + 1}) {
            SCOPED_TRACE(std::string(c.file) + " chunk " + std::to_string(chunkSize));
            DryRunAssessor assessor;
            for (qsizetype at = 0; at < data.size(); at += chunkSize)
                assessor.addChunk(data.mid(at, chunkSize));
            EXPECT_EQ(assessor.lineCount(), c.lines);
            EXPECT_EQ(assessor.totalFiles(), c.lines - 15);
            if (c.bytes >= 0) {
                EXPECT_EQ(assessor.totalTransferredSize(), c.bytes);
            }
            EXPECT_LE(assessor.tail().toUtf8().size(), DryRunAssessor::tailLimit + 8);
        }
    }
}

TEST(DryRunAssessor, ReadsLocaleGroupedTotalsAndIgnoresLaterLines)
{
    DryRunAssessor assessor;
    assessor.addChunk("x\nTotal transferred file size: 9.031.974 bytes\nLiteral data: 5 bytes\n");
    EXPECT_EQ(assessor.totalTransferredSize(), 9031974);
    DryRunAssessor none;
    none.addChunk("rsync: something failed\n");
    EXPECT_EQ(none.totalTransferredSize(), 0);
    EXPECT_EQ(none.totalFiles(), -14);
}

TEST(DryRunAssessor, StatusAtMostOncePerSecond)
{
    DryRunAssessor assessor;
    EXPECT_FALSE(assessor.statusDue(0));
    EXPECT_TRUE(assessor.statusDue(100));
    EXPECT_FALSE(assessor.statusDue(100));
    EXPECT_TRUE(assessor.statusDue(101));
    DryRunAssessor next(assessor.lastStatusSecond());
    EXPECT_FALSE(next.statusDue(101));
    assessor.addChunk("a\nb\n");
    EXPECT_TRUE(assessor.assessingText().startsWith(QStringLiteral("Assessing the job ahead: ")));
    EXPECT_TRUE(assessor.assessingText().endsWith(QStringLiteral(" files to copy")));
}

} // namespace
