// Replays real rsync output through the reader, whole and cut into chunks of
// random sizes (fixed seeds), alternating standard output and standard error.
// What the user sees must not depend on the cuts. The one cut that does
// matter by the reader's rules is right after two spaces in the middle of a
// line (such a chunk counts as complete, for rsync's unfinished progress
// updates): random cuts are moved off it, and the rule itself is covered by
// MFTaskDelegateTest.

#include "FakeControls.h"
#include "LocalNotificationCenter.h"

#include <QFile>

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

struct Snapshot
{
    quint64 items = 0;
    QStringList filePaths;
    QString lastPartialPath;
    QString percent;
    QString rate;
    int errorLines = 0;
    QString firstErrorLine;
    bool outOfSpace = false;
    int alerts = 0;
    int causeLines = 0;
    QString firstCauseLine;
    bool sawSummary = false;
    std::optional<CopyOutcome> outcome;

    bool operator==(const Snapshot &other) const
    {
        const auto key = [](const Snapshot &s) {
            return std::tie(s.items, s.filePaths, s.lastPartialPath, s.percent, s.rate, s.errorLines, s.firstErrorLine,
                            s.outOfSpace, s.alerts, s.causeLines, s.firstCauseLine, s.sawSummary);
        };
        const auto outcomeKey = [](const Snapshot &s) {
            return s.outcome ? std::tuple(int(s.outcome->result), s.outcome->errorCount, s.outcome->cause)
                             : std::tuple(-1, 0, QString());
        };
        return key(*this) == key(other) && outcomeKey(*this) == outcomeKey(other);
    }
};

void PrintTo(const Snapshot &s, std::ostream *os)
{
    *os << "{items " << s.items << ", paths " << s.filePaths.size() << ", last partial \""
        << s.lastPartialPath.toStdString() << "\", percent " << s.percent.toStdString() << ", rate "
        << s.rate.toStdString() << ", errors " << s.errorLines << ", outOfSpace " << s.outOfSpace << "}";
}

struct ReplayResult
{
    int completions = 0;
    // Taken at "BackupComplete", once the program has ended.
    Snapshot atFinish;
};

Snapshot takeSnapshot(const DelegateFixture &f)
{
    Snapshot s;
    s.items = f.delegate.myIndependentCounter();
    s.filePaths = f.view.filePaths;
    s.lastPartialPath = f.view.partialPaths.isEmpty() ? QString() : f.view.partialPaths.last();
    s.percent = f.delegate.thePercent();
    s.rate = f.delegate.dataTransferRate();
    s.errorLines = f.delegate.errorLineCount();
    s.firstErrorLine = f.delegate.firstErrorLine();
    s.outOfSpace = f.delegate.sawOutOfSpace();
    s.alerts = int(f.alerts.alerts.size());
    s.causeLines = f.delegate.causeLineCount();
    s.firstCauseLine = f.delegate.firstCauseLine();
    s.sawSummary = f.delegate.sawSummary();
    s.outcome = f.delegate.copyOutcome();
    return s;
}

// The output, then the program's end with `exitStatus`.
ReplayResult replay(const QByteArray &output, const QList<qsizetype> &cuts, const QString &sourcePath,
                    int exitStatus = 0)
{
    DelegateFixture f;
    f.delegate.setSourcePath(sourcePath);
    f.delegate.setTotalFiles(1000);
    f.delegate.setTotalSize(1000000);
    ReplayResult result;
    QObject context;
    LocalNotificationCenter::defaultCenter().addObserver(u"BackupComplete"_s, &context, [&](const LocalNotification &) {
        if (result.completions++ == 0)
            result.atFinish = takeSnapshot(f);
    });
    qsizetype start = 0;
    for (qsizetype i = 0; i <= cuts.size(); ++i) {
        const qsizetype end = i < cuts.size() ? cuts[i] : output.size();
        const QByteArray chunk = output.mid(start, end - start);
        if (i % 2 == 0)
            f.out(chunk);
        else
            f.err(chunk);
        start = end;
    }
    f.delegate.programDidEnd(CopyTermination{false, exitStatus});
    DelegateFixture::drainQueuedTexts();
    return result;
}

// Every cut but one right after two spaces that a line goes on from.
bool isNeutralCut(const QByteArray &data, qsizetype at)
{
    const bool afterTwoSpaces = at >= 2 && data[at - 2] == ' ' && data[at - 1] == ' ';
    return !afterTwoSpaces || data[at] == '\r' || data[at] == '\n';
}

QList<qsizetype> randomNeutralCuts(const QByteArray &data, unsigned seed, int maxChunk)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> size(1, maxChunk);
    QList<qsizetype> cuts;
    qsizetype at = 0;
    while (true) {
        at += size(random);
        while (at < data.size() && !isNeutralCut(data, at))
            ++at;
        if (at >= data.size())
            break;
        cuts.append(at);
    }
    return cuts;
}

QByteArray readFixture(const char *name)
{
    QFile file(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

struct FixtureCase
{
    const char *file;
    quint64 items; // item + up-to-date lines before the first summary line (fixture index)
    bool summary;
    int errorLines; // error lines of any kind, before and after the summary
    bool outOfSpace;
    int exitStatus;
    CopyResult result;
    int causeLines;
};

void PrintTo(const FixtureCase &fixture, std::ostream *os)
{
    *os << fixture.file;
}

// Counts from tests/fixtures/rsync/INDEX.md.
const FixtureCase fixtureCases[] = {
    {"01-sync-initial-dry-run.out", 176, true, 0, false, 0, CopyResult::Completed, 0},
    {"02-sync-initial.out", 176, true, 0, false, 0, CopyResult::Completed, 0},
    {"03-sync-unchanged-dry-run.out", 0, true, 0, false, 0, CopyResult::Completed, 0},
    {"04-sync-unchanged.out", 0, true, 0, false, 0, CopyResult::Completed, 0},
    {"05-sync-changed-dry-run.out", 6, true, 0, false, 0, CopyResult::Completed, 0},
    {"06-sync-changed.out", 6, true, 0, false, 0, CopyResult::Completed, 0},
    {"07-snapshot-first-dry-run.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    {"08-snapshot-first.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    {"09-snapshot-linked-dry-run.out", 7 + 164, true, 0, false, 0, CopyResult::Completed, 0},
    {"10-snapshot-linked.out", 7 + 164, true, 0, false, 0, CopyResult::Completed, 0},
    {"11-restore-update-dry-run.out", 9, true, 0, false, 0, CopyResult::Completed, 0},
    {"12-restore-update.out", 9, true, 0, false, 0, CopyResult::Completed, 0},
    // The write failure, the closing code-11 line and the sender's broken pipe.
    {"13-disk-full-blocks.out", 153, false, 3, true, 11, CopyResult::OutOfSpace, 2},
    {"15-sigterm-pid.out", 2, false, 2, false, 20, CopyResult::Failed, 0},
    {"16-sigterm-group.out", 2, false, 2, false, 20, CopyResult::Failed, 0},
    {"17-sync-initial-dry-run-LC_ALL-C.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    {"18-sync-initial-de_DE.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    {"19-sync-trailing-slash-source.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    {"20-sync-two-sources.out", 173, true, 0, false, 0, CopyResult::Completed, 0},
    // The code-23 line comes after the summary.
    {"21-sync-missing-source.out", 0, true, 2, false, 23, CopyResult::CompletedWithErrors, 1},
    {"22-sync-dest-parent-missing.out", 0, false, 2, false, 11, CopyResult::Failed, 1},
    {"23-snapshot-linked-rerun-same-folder.out", 154, true, 0, false, 0, CopyResult::Completed, 0},
    {"24-sync-many-files.out", 1641, true, 0, false, 0, CopyResult::Completed, 0},
    {"25-sync-initial-traced.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
    // "filename overflows max-path len" has no "rsync:" prefix.
    {"26-sync-path-too-long.out", 35, true, 2, false, 23, CopyResult::CompletedWithErrors, 1},
    {"27-sync-initial-partial-dir.out", 171, true, 0, false, 0, CopyResult::Completed, 0},
};

const QString sourcePath = u"/work/Data"_s;

class FixtureReplay : public ::testing::TestWithParam<FixtureCase>
{};

TEST_P(FixtureReplay, WholeOutputMatchesTheFixtureIndex)
{
    const FixtureCase &fixture = GetParam();
    const QByteArray output = readFixture(fixture.file);
    ASSERT_FALSE(output.isEmpty()) << fixture.file;

    const ReplayResult whole = replay(output, {}, sourcePath, fixture.exitStatus);
    EXPECT_EQ(whole.completions, 1); // at the program's end, never at the summary
    EXPECT_EQ(whole.atFinish.sawSummary, fixture.summary);
    EXPECT_EQ(whole.atFinish.items, fixture.items);
    EXPECT_EQ(whole.atFinish.errorLines, fixture.errorLines);
    EXPECT_EQ(whole.atFinish.causeLines, fixture.causeLines);
    ASSERT_TRUE(whole.atFinish.outcome.has_value());
    EXPECT_EQ(whole.atFinish.outcome->result, fixture.result);
    EXPECT_EQ(whole.atFinish.outcome->errorCount, fixture.causeLines);
    // A line that names the cause is preferred to rsync's generic closing line.
    if (fixture.causeLines > 0) {
        EXPECT_FALSE(whole.atFinish.outcome->cause.contains(u"(code "_s))
            << whole.atFinish.outcome->cause.toStdString();
    }
    EXPECT_EQ(whole.atFinish.outOfSpace, fixture.outOfSpace);
    EXPECT_EQ(whole.atFinish.alerts, fixture.outOfSpace ? 1 : 0);
    for (const QString &path : whole.atFinish.filePaths)
        EXPECT_TRUE(path.startsWith(u"/work/"_s)) << path.toStdString();
}

TEST_P(FixtureReplay, RandomChunkingChangesNothing)
{
    const FixtureCase &fixture = GetParam();
    const QByteArray output = readFixture(fixture.file);
    ASSERT_FALSE(output.isEmpty());
    const ReplayResult whole = replay(output, {}, sourcePath, fixture.exitStatus);

    for (const int maxChunk : {1, 2, 7, 33, 200, 4096}) {
        for (const unsigned seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << "max chunk " << maxChunk << ", seed " << seed);
            const ReplayResult cut
                = replay(output, randomNeutralCuts(output, seed, maxChunk), sourcePath, fixture.exitStatus);
            EXPECT_EQ(cut.completions, whole.completions);
            EXPECT_EQ(cut.atFinish, whole.atFinish);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, FixtureReplay, ::testing::ValuesIn(fixtureCases),
                         [](const testing::TestParamInfo<FixtureCase> &info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.find('.'));
                             for (char &c : name)
                                 if (c == '-')
                                     c = '_';
                             return "f" + name;
                         });

TEST(FixtureReplayWrites, RsyncsOwnWriteBoundariesGiveTheSameResult)
{
    // The traced capture lists the size of every write() rsync made.
    const QByteArray output = readFixture("25-sync-initial-traced.out");
    QFile sizes(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/25-sync-initial-traced.writes"));
    ASSERT_TRUE(sizes.open(QIODevice::ReadOnly | QIODevice::Text));
    QList<qsizetype> cuts;
    qsizetype at = 0;
    while (!sizes.atEnd()) {
        const QByteArray line = sizes.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        at += line.toLongLong();
        if (at < output.size())
            cuts.append(at);
    }
    ASSERT_EQ(at, output.size());
    EXPECT_EQ(replay(output, cuts, sourcePath).atFinish, replay(output, {}, sourcePath).atFinish);
}

// The partial folder in place of "-P" changes nothing the reader sees: the
// same tree copied either way gives the same paths, updates and end state
// (the rate differs from run to run and is left out).
TEST(FixtureReplayContent, PartialFolderFormReadsLikeThePartialForm)
{
    ReplayResult partialDir = replay(readFixture("27-sync-initial-partial-dir.out"), {}, sourcePath);
    ReplayResult partial = replay(readFixture("18-sync-initial-de_DE.out"), {}, sourcePath);
    partialDir.atFinish.rate = partial.atFinish.rate = QString();
    EXPECT_EQ(partialDir.completions, 1);
    EXPECT_EQ(partialDir.atFinish, partial.atFinish);
}

TEST(FixtureReplayContent, ComposesReadablePathsAndReadsTheLastUpdate)
{
    const ReplayResult result = replay(readFixture("02-sync-initial.out"), {}, sourcePath);
    const QStringList &paths = result.atFinish.filePaths;
    EXPECT_EQ(paths.size(), 176);
    EXPECT_EQ(paths.first(), u"/work/Data/"_s);
    EXPECT_EQ(paths.last(), u"/work/Data/Hard Link A.txt"_s); // rsync lists the second hard link last
    for (const QString &expected : {
             u"/work/Data/Odd Names/R\u00e9sum\u00e9 \u2013 na\u00efve \u65e5\u672c\u8a9e.txt"_s,
             u"/work/Data/Odd Names/multi\\#012line name.txt"_s,
             u"/work/Data/Odd Names/tab\tin name.txt"_s,
             u"/work/Data/Odd Names/trailing space.txt "_s,
             u"/work/Data/Odd Names/notes is uptodate"_s,
             u"/work/Data/Odd Names/  1,048,576 100%  1.00MBps  0:00:01.txt"_s,
         }) {
        EXPECT_TRUE(paths.contains(expected)) << expected.toStdString();
    }
    EXPECT_EQ(result.atFinish.lastPartialPath, u"Number of files: 176 (reg: 155, dir: 18, link: 3)"_s);
    EXPECT_EQ(result.atFinish.percent, u"100%"_s);
    EXPECT_TRUE(result.atFinish.rate.endsWith(u"/s"_s));

    // Up-to-date lines of a linked snapshot name the files below the source too.
    const ReplayResult linked = replay(readFixture("10-snapshot-linked.out"), {}, sourcePath);
    for (const QString &path : linked.atFinish.filePaths)
        EXPECT_TRUE(path.startsWith(u"/work/Data/"_s) || path == u"/work/Data"_s) << path.toStdString();
}

TEST(FixtureReplayContent, CutsBeforeLineBreaksAndSpacesLoseNothing)
{
    // Cut the output before every line feed, and before every space that
    // follows a letter: no item is lost, no name changes.
    const QByteArray output = readFixture("02-sync-initial.out");
    QList<qsizetype> cuts;
    for (qsizetype at = 1; at < output.size(); ++at) {
        if (output[at] == '\n' || (output[at] == ' ' && QChar::isLetter(uchar(output[at - 1]))))
            cuts.append(at);
    }
    EXPECT_EQ(replay(output, cuts, sourcePath).atFinish, replay(output, {}, sourcePath).atFinish);
}

} // namespace
