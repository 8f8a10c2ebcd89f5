#include "FakeControls.h"
#include "ProcessTask.h"
#include "LocalNotificationCenter.h"

#include <QFile>
#include <QTimer>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Counts "BackupComplete" posts for as long as it lives.
struct CompletionCounter
{
    QObject context;
    int posts = 0;
    CompletionCounter()
    {
        LocalNotificationCenter::defaultCenter().addObserver(u"BackupComplete"_s, &context,
                                                             [this](const LocalNotification &) { ++posts; });
    }
};

// --- Chunk reader ------------------------------------------------------------

struct ReaderCase
{
    const char *name;
    std::vector<QByteArray> chunks; // alternately standard output and standard error
    QStringList lines;              // lines handed on, as the view's partial paths
    QByteArray remainder;
};

TEST(MFTaskDelegateReader, CutsChunksIntoLinesByItsOwnRules)
{
    const ReaderCase cases[] = {
        {"leading whitespace of every line is skipped", {"\t alpha\n\r\n \v\fbeta\n"}, {u"alpha"_s, u"beta"_s}, {}},
        {"trailing spaces stay part of the line", {"alpha  \nbeta \n"}, {u"alpha  "_s, u"beta "_s}, {}},
        {"CR ends a line like LF", {"one\rtwo\r\nthree\n"}, {u"one"_s, u"two"_s, u"three"_s}, {}},
        {"an unfinished last line waits", {"one\ntwo"}, {u"one"_s}, "two"},
        {"the next chunk of the other stream completes it",
         {"one\ntw", "o\nthree\n"},
         {u"one"_s, u"two"_s, u"three"_s},
         {}},
        {"a chunk completing one line and ending in another keeps the new one",
         {"ab", "c\nde", "f\n"},
         {u"abc"_s, u"def"_s},
         {}},
        {"a chunk ending in two spaces is complete", {"12   5%   1.00MB/s    0:00:01  ", "next\n"}, {u"next"_s}, {}},
        {"a chunk ending in one space is not", {"word ", "more\n"}, {u"word more"_s}, {}},
        {"whitespace continuing a pending line is kept", {"abc", " def\n"}, {u"abc def"_s}, {}},
        {"so is a tab", {"\t://: Data/a", "\tb\n"}, {u"://: Data/a\tb"_s}, {}},
        {"a boundary just before a line feed ends the pending line", {"abc", "\nxyz\n"}, {u"abc"_s, u"xyz"_s}, {}},
        {"so does a chunk of just a line feed", {"abc", "\n", "xyz\n"}, {u"abc"_s, u"xyz"_s}, {}},
        {"a line ended by a line break is whole whatever follows", {"abc\n\t", "xyz\n"}, {u"abc"_s, u"xyz"_s}, {}},
        {"a pending line completed by two spaces is whole", {"12 5%", " 1.00MB/s 0:00:01  "}, {}, {}},
        {"empty and blank lines produce nothing", {"\n\n  \t\n\r\r", "\n"}, {}, {}},
        {"a UTF-8 character split between chunks arrives whole",
         {"R\xC3", "\xA9sum\xC3\xA9\n"},
         {u"R\u00e9sum\u00e9"_s},
         {}},
        {"invalid bytes become replacement characters",
         {"a\xFF\xFE"
          "b\n"},
         {u"a\ufffd\ufffdb"_s},
         {}},
    };
    for (const ReaderCase &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        DelegateFixture f;
        for (std::size_t i = 0; i < testCase.chunks.size(); ++i) {
            if (i % 2 == 0)
                f.out(testCase.chunks[i]);
            else
                f.err(testCase.chunks[i]);
        }
        EXPECT_EQ(f.view.partialPaths, testCase.lines);
        EXPECT_EQ(f.delegate.remainder(), testCase.remainder);
    }
}

TEST(MFTaskDelegateReader, KeepsTheTailOfAnUnfinishedProgressUpdate)
{
    DelegateFixture f;
    f.out("\r      3,145,728  50%   31.2");
    EXPECT_EQ(f.delegate.remainder(), "3,145,728  50%   31.2");
    EXPECT_TRUE(f.delegate.thePercent().isEmpty());
    f.err("5MB/s    0:00:00\n");
    EXPECT_EQ(f.delegate.thePercent(), u"50%"_s);
    EXPECT_EQ(f.delegate.dataTransferRate(), u"31.25MB/s"_s);
    EXPECT_TRUE(f.delegate.remainder().isEmpty());
}

TEST(MFTaskDelegateReader, StopsAtTheFirstSummaryLineAndCompletesWhenTheProgramEnds)
{
    DelegateFixture f;
    CompletionCounter completions;
    f.delegate.setTotalFiles(10);
    f.delegate.setTotalSize(100);
    f.out("\t://: Data/a\n\nNumber of files: 3\n\t://: Data/b\nNumber of created files: 3\nstill pending");

    // The summary fills the bar and stops the timer; the outcome waits for
    // the program's exit status.
    EXPECT_EQ(completions.posts, 0);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u); // the item after the summary was dropped
    EXPECT_TRUE(f.delegate.isFinishingUp());
    EXPECT_TRUE(f.delegate.sawSummary());
    EXPECT_EQ(f.progress.current, 10);
    EXPECT_EQ(f.progress.maximum, 10);
    EXPECT_EQ(f.delegate.statusUpdateTimer(), nullptr);
    f.out("\nTotal bytes sent: 5\nrsync error: some files/attrs were not transferred (code 23)\n");
    EXPECT_EQ(completions.posts, 0);
    EXPECT_EQ(f.delegate.errorLineCount(), 1); // read after the summary

    f.delegate.programDidEnd(CopyTermination{false, 0});
    EXPECT_EQ(completions.posts, 1);
    EXPECT_TRUE(f.delegate.lastFullPath().isEmpty());
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(f.jobState.text, u"Backup Complete."_s);
}

TEST(MFTaskDelegateReader, RecognisesTheSummaryLinesRsyncPrints)
{
    // The statistics block of a captured copy: every line of it is summary
    // but the counts that rsync 3.2 added, which the status never showed.
    QFile capture(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/02-sync-initial.out"));
    ASSERT_TRUE(capture.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = capture.readAll().split('\n');
    const qsizetype start = lines.indexOf(QByteArray("Number of files: 176 (reg: 155, dir: 18, link: 3)"));
    ASSERT_GE(start, 0);
    const QByteArrayList addedByNewerRsync
        = {"Number of created files", "Number of deleted files", "Number of regular files transferred"};
    int recognised = 0;
    for (const QByteArray &line : lines.mid(start)) {
        if (line.isEmpty() || line.startsWith("sent "))
            continue;
        SCOPED_TRACE(line.constData());
        const bool added = std::any_of(addedByNewerRsync.cbegin(), addedByNewerRsync.cend(),
                                       [&](const QByteArray &prefix) { return line.startsWith(prefix); });
        DelegateFixture f;
        EXPECT_EQ(f.delegate.processWholeLineOfTaskOutput(line), !added);
        recognised += added ? 0 : 1;
    }
    EXPECT_EQ(recognised, 11);
    const char *notSummaries[] = {"Number of created files: 3", "sent 12 bytes  received 3 bytes", "total: matches=0",
                                  "Total file size:12", "number of files: 3"};
    for (const char *line : notSummaries) {
        SCOPED_TRACE(line);
        DelegateFixture f;
        EXPECT_FALSE(f.delegate.processWholeLineOfTaskOutput(line));
    }
}

TEST(MFTaskDelegateReader, StartsTheStatusTimerOnceAndTicksAtOnce)
{
    DelegateFixture f;
    f.delegate.setTotalFiles(4);
    f.delegate.setTotalSize(2048);
    f.out("\t://: Data/a\n");
    const QTimer *timer = f.delegate.statusUpdateTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_EQ(f.displayText.history.size(), 1); // the immediate tick
    f.out("\t://: Data/b\n");
    EXPECT_EQ(f.delegate.statusUpdateTimer(), timer);
    EXPECT_EQ(f.displayText.history.size(), 1);
}

TEST(MFTaskDelegateReader, ReadsAChunkHandedOverDuringTheAlertAfterIt)
{
    DelegateFixture f;
    f.alerts.whileShown = [&f] {
        f.out("\t://: Data/late\nrsync: [sender] write error: Broken pipe (32)\n");
        EXPECT_EQ(f.delegate.errorLineCount(), 1); // not yet
    };
    f.out("\t://: Data/early\nrsync: [receiver] write failed on \"/d/x\": No space left on device (28)\n");
    ASSERT_EQ(f.alerts.alerts.size(), 1u);
    // Read after the alert, as lines of a finishing run: the item no longer
    // counts, the error does.
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
    EXPECT_EQ(f.delegate.errorLineCount(), 2);
    EXPECT_FALSE(f.view.partialPaths.contains(u"\t://: Data/late"_s));
}

// --- Line parser: items and up-to-date lines ---------------------------------

struct PathCase
{
    const char *sourcePath;
    const char *line;
    const char *expectedPath; // nullptr: no path composed
};

TEST(MFTaskDelegateParser, ComposesItemPathsFromTheSourceParent)
{
    const PathCase cases[] = {
        {"/Users/x/docs", "://: docs/a.txt", "/Users/x/docs/a.txt"},
        {"/Users/x/docs/", "://: docs/a.txt", "/Users/x/docs/a.txt"},
        {"/docs", "://: docs/a.txt", "/docs/a.txt"},
        {"/", "://: etc/passwd", "/etc/passwd"},
        {"/Users/x/docs", "://:  leading space.txt", "/Users/x/ leading space.txt"},
        {"/Users/x/Data", "://: Data/R\xC3\xA9sum\xC3\xA9.txt", "/Users/x/Data/R\u00e9sum\u00e9.txt"},
        // Up-to-date lines name the item relative to the same parent.
        {"/Users/x/docs", "docs/b.txt is uptodate", "/Users/x/docs/b.txt"},
        {"/Users/x/docs/", "docs/b.txt is uptodate", "/Users/x/docs/b.txt"},
        {"/Users/x/Data", "Data/Odd Names/notes is uptodate is uptodate", "/Users/x/Data/Odd Names/notes is uptodate"},
        // An item line is only an item, whatever its name ends in.
        {"/Users/x/Data", "://: Data/Odd Names/notes is uptodate", "/Users/x/Data/Odd Names/notes is uptodate"},
        {"/Users/x/docs", "://:docs/a.txt", nullptr},
    };
    for (const PathCase &testCase : cases) {
        SCOPED_TRACE(testCase.line);
        DelegateFixture f;
        f.delegate.setSourcePath(QString::fromUtf8(testCase.sourcePath));
        f.out(QByteArray("\t") + testCase.line + "\n");
        EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
        EXPECT_EQ(f.progress.current, 1);
        EXPECT_EQ(f.view.partialPaths, QStringList{QString::fromUtf8(testCase.line)});
        if (testCase.expectedPath) {
            EXPECT_EQ(f.delegate.lastFullPath(), QString::fromUtf8(testCase.expectedPath));
            EXPECT_EQ(f.view.filePaths, QStringList{QString::fromUtf8(testCase.expectedPath)});
        } else {
            EXPECT_TRUE(f.delegate.lastFullPath().isEmpty());
            EXPECT_TRUE(f.view.filePaths.isEmpty());
        }
    }
}

TEST(MFTaskDelegateParser, ItemLinesMoveTheBarAgainstTheExpectedTotal)
{
    DelegateFixture f;
    f.progress.current = 5;
    f.progress.maximum = 99;
    f.out("\t://: a\n");
    EXPECT_EQ(f.progress.maximum, 0); // no total yet
    EXPECT_EQ(f.progress.current, 6);
    f.delegate.setTotalFiles(40);
    f.out("\t://: b\nb is uptodate\n");
    EXPECT_EQ(f.progress.maximum, 40);
    EXPECT_EQ(f.progress.current, 8);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 3u);
}

TEST(MFTaskDelegateParser, NamesNeverEndOrFailTheCopy)
{
    const char *lines[] = {
        "://: Data/Total file size: 3",
        "Total file size: 3 is uptodate",
        "://: Data/write failed on No space left on device x",
        "://: Data/writefd_unbuffered failed to write",
        "://: Data/rsync: note.txt",
    };
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        DelegateFixture f;
        EXPECT_FALSE(f.delegate.processWholeLineOfTaskOutput(line));
        EXPECT_TRUE(f.alerts.alerts.empty());
        EXPECT_EQ(f.delegate.errorLineCount(), 0);
        EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
    }
}

// --- Line parser: progress lines ---------------------------------------------

struct ProgressCase
{
    const char *line;
    bool isProgress;
    const char *percent;
    const char *rate;
};

TEST(MFTaskDelegateParser, ReadsPercentAndRateFromProgressLines)
{
    const ProgressCase cases[] = {
        {"5,242,880  50%    5.00MB/s    0:00:01", true, "50%", "5.00MB/s"},
        {"3,145,728 100% 1000.00MB/s    0:00:00 (xfr#2, to-chk=165/176)", true, "100%", "1000.00MB/s"},
        {"9.031.974 100%  292,97kB/s    0:00:00 (xfr#1, to-chk=3/5)", true, "100%", "292,97kB/s"},
        {"32,768   0%    4.46MB/s    0:00:01  rsync: [receiver] write failed", true, "0%", "4.46MB/s"},
        {"12\t50%\t1MB/s 0:00:01", true, "", ""}, // tabs do not separate fields: two fields only
        {"12 50%:/", true, "", ""},               // two fields: nothing but the beat changes
        {"1 2% 3/s:", true, "2%", "3/s:"},
        {"12 50% /s:", true, "50%", "/s:"},
        {"[sender] hiding file Data/Report 50%: draft.tmp because of pattern *.tmp", false, "", ""},
        {"5,242,880  50%    5.00MB/s", false, "", ""}, // no ':'
    };
    for (const ProgressCase &testCase : cases) {
        SCOPED_TRACE(testCase.line);
        DelegateFixture f;
        f.delegate.setTotalFiles(5);
        f.delegate.setTotalSize(5);
        f.out("\t://: a\n");
        f.delegate.statusUpdater();
        f.delegate.statusUpdater(); // two beats since the (absent) last update
        ASSERT_EQ(f.delegate.beatsSinceValuesUpdate(), 3);
        const qsizetype partialPathsBefore = f.view.partialPaths.size();

        EXPECT_FALSE(f.delegate.processWholeLineOfTaskOutput(testCase.line));
        EXPECT_EQ(f.delegate.beatsSinceValuesUpdate() == 0, testCase.isProgress);
        EXPECT_EQ(f.delegate.thePercent(), QString::fromUtf8(testCase.percent));
        EXPECT_EQ(f.delegate.dataTransferRate(), QString::fromUtf8(testCase.rate));
        EXPECT_EQ(f.view.partialPaths.size(), partialPathsBefore + (testCase.isProgress ? 0 : 1));
        EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
        EXPECT_EQ(f.view.filePaths.size(), 1);
    }
}

// --- Line parser: out of space and rsync's error messages --------------------

struct ErrorCase
{
    const char *line;
    bool raisesAlert;
    bool outOfSpace;
    int errorLines;
    const char *errorText;
};

TEST(MFTaskDelegateParser, RecognisesOutOfSpaceAndErrorMessages)
{
    const ErrorCase cases[] = {
        {"rsync: [receiver] write failed on \"/d/a\": No space left on device (28)", true, true, 1,
         "rsync: [receiver] write failed on \"/d/a\": No space left on device (28)"},
        {"No space left on device (28) then write failed on x", true, true, 0, nullptr},
        {"rsync: writefd_unbuffered failed to write 4 bytes", true, true, 1,
         "rsync: writefd_unbuffered failed to write 4 bytes"},
        {"No space left on device (28)", false, false, 0, nullptr},
        {"write failed on \"/d/a\": No space left on device", false, false, 0, nullptr}, // no trailing space
        // Exhausted inodes: rsync carries on, so no alert, but it is out of space.
        {"rsync: [receiver] mkstemp \"/d/.a.XXXXXX\" failed: No space left on device (28)", false, true, 1,
         "rsync: [receiver] mkstemp \"/d/.a.XXXXXX\" failed: No space left on device (28)"},
        // Glued onto an unfinished progress update.
        {"1,152,352,256  53%  366.56MB/s    0:00:02  rsync error: received SIGINT, SIGTERM, or SIGHUP (code 20)", false,
         false, 1, "rsync error: received SIGINT, SIGTERM, or SIGHUP (code 20)"},
        {"32,768   0%    4.46MB/s    0:00:01  rsync: [receiver] write failed on \"/d/H.mov\": No space left on device "
         "(28)",
         true, true, 1, "rsync: [receiver] write failed on \"/d/H.mov\": No space left on device (28)"},
        {"rsync error: some files/attrs were not transferred (see previous errors) (code 23)", false, false, 1,
         "rsync error: some files/attrs were not transferred (see previous errors) (code 23)"},
        {"deleting Data/rsync: old.txt", false, false, 0, nullptr},
        {"rsync warning: some files vanished before they could be transferred (code 24)", false, false, 0, nullptr},
        // rsync's messages without its prefix.
        {"filename overflows max-path len by 23: Deep/level00-x/level01-x", false, false, 1,
         "filename overflows max-path len by 23: Deep/level00-x/level01-x"},
        {"cannot delete non-empty directory: Data/Old", false, false, 1, "cannot delete non-empty directory: Data/Old"},
        {"ERROR: Data/a failed verification -- update discarded.", false, false, 1,
         "ERROR: Data/a failed verification -- update discarded."},
        {"file has vanished: \"/s/Data/gone.txt\"", false, false, 0, nullptr},
        {"IO error encountered -- skipping file deletion", false, false, 0, nullptr},
        {"sending incremental file list", false, false, 0, nullptr},
    };
    for (const ErrorCase &testCase : cases) {
        SCOPED_TRACE(testCase.line);
        DelegateFixture f;
        EXPECT_EQ(f.delegate.processWholeLineOfTaskOutput(testCase.line), testCase.raisesAlert);
        ASSERT_EQ(f.alerts.alerts.size(), testCase.raisesAlert ? 1u : 0u);
        if (testCase.raisesAlert) {
            EXPECT_EQ(f.alerts.alerts[0].message, u"Out of drive space"_s);
            EXPECT_EQ(f.alerts.alerts[0].button, u"OK"_s);
            EXPECT_EQ(f.alerts.alerts[0].informativeText,
                      u"It looks like you're out of drive space.\n\nFree up some space on the destination then hit "
                      "Backup again and we'll automatically detect where we were and resume the backup."_s);
        }
        EXPECT_EQ(f.delegate.sawOutOfSpace(), testCase.outOfSpace);
        EXPECT_EQ(f.delegate.errorLineCount(), testCase.errorLines);
        if (testCase.errorText) {
            EXPECT_EQ(f.delegate.firstErrorLine(), QString::fromUtf8(testCase.errorText));
        }
    }
}

TEST(MFTaskDelegateParser, KeepsFirstAndLastErrorLineUntilReset)
{
    DelegateFixture f;
    f.out("rsync: [sender] link_stat \"/s/a\" failed: No such file or directory (2)\n"
          "rsync: [sender] link_stat \"/s/b\" failed: No such file or directory (2)\n"
          "rsync: [receiver] mkstemp \"/d/.c\" failed: No space left on device (28)\n");
    EXPECT_EQ(f.delegate.errorLineCount(), 3);
    EXPECT_TRUE(f.delegate.firstErrorLine().contains(u"\"/s/a\""));
    EXPECT_TRUE(f.delegate.lastErrorLine().contains(u"mkstemp"));
    EXPECT_TRUE(f.delegate.sawOutOfSpace());
    f.delegate.resetForNew();
    EXPECT_EQ(f.delegate.errorLineCount(), 0);
    EXPECT_TRUE(f.delegate.firstErrorLine().isEmpty());
    EXPECT_TRUE(f.delegate.lastErrorLine().isEmpty());
    EXPECT_FALSE(f.delegate.sawOutOfSpace());
}

TEST(MFTaskDelegateParser, OutOfSpaceRunsTheFinishingSequenceAfterTheAlert)
{
    DelegateFixture f;
    CompletionCounter completions;
    f.alerts.whileShown = [&] { EXPECT_EQ(completions.posts, 0); };
    f.delegate.setTotalFiles(9);
    f.out("\t://: Data/a\nrsync: [receiver] writefd_unbuffered failed to write 4 bytes\n\t://: Data/b\n");
    EXPECT_EQ(f.progress.current, 9);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
    EXPECT_EQ(completions.posts, 0); // once the program has ended
    f.delegate.programDidEnd(CopyTermination{true, 15});
    EXPECT_EQ(completions.posts, 1);
    ASSERT_TRUE(f.delegate.copyOutcome());
    EXPECT_EQ(f.delegate.copyOutcome()->result, CopyResult::OutOfSpace);
}

// --- Status reporting --------------------------------------------------------

TEST(MFTaskDelegateStatus, ShowsCountsSizesAndRates)
{
    DelegateFixture f;
    f.delegate.setTotalFiles(2000000);
    f.delegate.setTotalSize(1536);
    f.out("\t://: Data/a\n"); // starts the timer; the first tick counts 1 file
    EXPECT_EQ(f.displayText.text, u"Files / second: 1 file\nData / second: -"_s);
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(f.jobState.text, u"Copied 1 of about 2.00 million files (1.50 KB)"_s);

    f.delegate.setMyIndependentCounter(1500);
    f.out("10,240  50%   10.23MB/s    0:00:01  ");
    struct Tick
    {
        quint64 counter;
        const char *rateText;
    };
    const Tick ticks[] = {
        {1500, "Files / second: 1499 files\nData / second: 10.23MB"},
        {1501, "Files / second: 1 file\nData / second: 10.23MB"},
        {1501, "Files / second: 0 files\nData / second: -"},
        {1513, "Files / second: 12 files\nData / second: -"},
    };
    f.delegate.statusUpdater();
    EXPECT_EQ(f.displayText.text, u"Files / second: 1499 files\nData / second: 10.23MB"_s);
    for (std::size_t i = 1; i < std::size(ticks); ++i) {
        SCOPED_TRACE(i);
        f.delegate.setMyIndependentCounter(ticks[i].counter);
        f.delegate.statusUpdater();
        EXPECT_EQ(f.displayText.text, QString::fromUtf8(ticks[i].rateText));
    }
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(f.jobState.text, u"Copied 2 thousand of about 2.00 million files (1.50 KB)"_s);
}

TEST(MFTaskDelegateStatus, ShowsTheRateForTwoTicksAfterAProgressLine)
{
    DelegateFixture f;
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.out("\t://: Data/a\n");
    f.out("10,240  50%   10.23MB/s    0:00:01\n");
    const char *expected[] = {"10.23MB", "10.23MB", "-", "-"};
    for (const char *rate : expected) {
        SCOPED_TRACE(rate);
        f.delegate.statusUpdater();
        EXPECT_TRUE(f.displayText.text.endsWith(u"Data / second: "_s + QString::fromUtf8(rate)));
    }
}

TEST(MFTaskDelegateStatus, GivesTheViewThePercentOfTheLastUpdate)
{
    struct PercentCase
    {
        const char *progressLine; // nullptr: none yet
        std::optional<int> percent;
    };
    const PercentCase cases[] = {
        {nullptr, 0},
        {"1  0%  1.00kB/s  0:00:00", std::nullopt},
        {"1  37%  1.00kB/s  0:00:00", 37},
        {"1  100%  1.00kB/s  0:00:00", 100},
    };
    for (const PercentCase &testCase : cases) {
        SCOPED_TRACE(testCase.progressLine ? testCase.progressLine : "none");
        DelegateFixture f;
        f.delegate.setTotalFiles(3);
        f.delegate.setTotalSize(3);
        f.out("\t://: Data/a\n");
        if (testCase.progressLine)
            f.delegate.processWholeLineOfTaskOutput(testCase.progressLine);
        f.view.percents.clear();
        f.delegate.statusUpdater();
        ASSERT_FALSE(f.view.percents.empty());
        EXPECT_EQ(f.view.percents.front(), std::nullopt); // cleared first
        EXPECT_EQ(f.view.percents.back(), testCase.percent);
    }
}

TEST(MFTaskDelegateStatus, ShowsNothingBeforeTotalsAndFirstItem)
{
    DelegateFixture f;
    f.out("sending incremental file list\n"); // starts the timer
    ASSERT_NE(f.delegate.statusUpdateTimer(), nullptr);
    f.delegate.statusUpdater(); // no totals, no item
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.delegate.statusUpdater(); // totals, no item yet
    DelegateFixture::drainQueuedTexts();
    EXPECT_TRUE(f.displayText.history.isEmpty());
    EXPECT_TRUE(f.jobState.history.isEmpty());
    EXPECT_EQ(f.delegate.beatsSinceValuesUpdate(), 0);

    // Without a size the line leaves it out.
    f.delegate.setTotalSize(std::nullopt);
    f.out("\t://: Data/a\n");
    f.delegate.statusUpdater();
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(f.jobState.text, u"Copied 1 of about 3 files"_s);
}

TEST(MFTaskDelegateStatus, ShowsCompletionAndStopsTheTimer)
{
    DelegateFixture f;
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.out("\t://: Data/a\n");
    f.progress.maximum = 3;
    f.delegate.statusUpdater();
    ASSERT_NE(f.delegate.statusUpdateTimer(), nullptr);
    DelegateFixture::drainQueuedTexts();

    // No timer any more: any tick shows the completion again.
    f.out("Number of files: 3\n");
    for (int tick = 0; tick < 2; ++tick) {
        SCOPED_TRACE(tick);
        f.jobState.history.clear();
        f.progress.current = 1;
        f.delegate.programDidEnd(CopyTermination{false, 0});
        EXPECT_EQ(f.delegate.statusUpdateTimer(), nullptr);
        EXPECT_TRUE(f.delegate.lastFullPath().isEmpty());
        EXPECT_EQ(f.progress.current, 3);
        DelegateFixture::drainQueuedTexts();
        // The first end shows the final count before the completion text.
        const QStringList expected = tick == 0
            ? QStringList{u"Copied 1 of about 3 files (3.00 B)"_s, u"Backup Complete."_s}
            : QStringList{u"Backup Complete."_s};
        EXPECT_EQ(f.jobState.history, expected) << f.jobState.history.join(u"|"_s).toStdString();
    }
    f.progress.current = 0;
    f.delegate.statusUpdater();
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(f.jobState.text, u"Backup Complete."_s);
    EXPECT_EQ(f.progress.current, 3);
}

TEST(MFTaskDelegateStatus, ResetClearsProgressButKeepsTheTimer)
{
    DelegateFixture f;
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.out("\t://: Data/a\n10,240  50%   10.23MB/s    0:00:01\n");
    f.progress.indeterminate = false;
    DelegateFixture::drainQueuedTexts();
    const QTimer *timer = f.delegate.statusUpdateTimer();

    f.delegate.resetForNew();
    EXPECT_EQ(f.progress.current, 0);
    EXPECT_EQ(f.progress.maximum, 0);
    EXPECT_TRUE(f.progress.indeterminate);
    EXPECT_EQ(f.progress.animationStops, 1);
    EXPECT_FALSE(f.delegate.totalFiles().has_value());
    EXPECT_FALSE(f.delegate.totalSize().has_value());
    EXPECT_EQ(f.delegate.myIndependentCounter(), 0u);
    EXPECT_EQ(f.delegate.lastMyIndependentCounter(), 0u);
    EXPECT_EQ(f.view.iconInstanceChanges.back(), TransferAnimationView::IconInstances::None);
    EXPECT_EQ(f.modeSelector.shows, 1);
    EXPECT_FALSE(f.delegate.isFinishingUp());
    // Kept: the timer, the last path and the last update's texts.
    EXPECT_EQ(f.delegate.statusUpdateTimer(), timer);
    EXPECT_EQ(f.delegate.lastFullPath(), u"/Data/a"_s);
    EXPECT_EQ(f.delegate.thePercent(), u"50%"_s);
    // The cleared texts and icon appear after the handler.
    EXPECT_FALSE(f.jobState.text.isEmpty());
    DelegateFixture::drainQueuedTexts();
    EXPECT_TRUE(f.jobState.text.isEmpty());
    EXPECT_TRUE(f.displayText.text.isEmpty());
    EXPECT_EQ(f.fileIcon.clears, 1);

    // The timer ticks without effect until totals come again.
    const qsizetype shown = f.displayText.history.size();
    f.delegate.statusUpdater();
    EXPECT_EQ(f.displayText.history.size(), shown);
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.delegate.statusUpdater();
    EXPECT_EQ(f.displayText.history.size(), shown + 1);
}

TEST(MFTaskDelegateStatus, SilenceTimerClearsTheViewAndIsNotArmedWhenFinishing)
{
    DelegateFixture f;
    EXPECT_FALSE(f.delegate.noOutputTimer()->isActive());
    f.out("sending incremental file list\n");
    EXPECT_TRUE(f.delegate.noOutputTimer()->isActive());
    EXPECT_TRUE(f.delegate.noOutputTimer()->isSingleShot());
    EXPECT_EQ(f.delegate.noOutputTimer()->interval(), 10000);

    f.delegate.noOutput();
    EXPECT_EQ(f.view.filePaths.back(), QString());
    EXPECT_EQ(f.view.iconInstanceChanges.back(), TransferAnimationView::IconInstances::Empty);

    f.out("Number of files: 1\n");
    f.delegate.handleNoOutputTimer();
    EXPECT_FALSE(f.delegate.noOutputTimer()->isActive());
    f.out("more\n");
    EXPECT_FALSE(f.delegate.noOutputTimer()->isActive());
    f.delegate.resetForNew();
    f.out("more\n");
    EXPECT_TRUE(f.delegate.noOutputTimer()->isActive());
}

TEST(MFTaskDelegateStatus, EachTickQueuesAPulseAcrossTheView)
{
    DelegateFixture f;
    f.view.width = 480;
    f.delegate.setTotalFiles(3);
    f.delegate.setTotalSize(3);
    f.out("\t://: Data/a\n");
    EXPECT_TRUE(f.view.xs.empty()); // queued, not run yet
    DelegateFixture::drainQueuedTexts();
    ASSERT_FALSE(f.view.xs.empty());
    EXPECT_EQ(f.view.xs.front(), 0);
    const QVariantAnimation *pulse = f.delegate.pulseAnimation();
    EXPECT_EQ(pulse->state(), QAbstractAnimation::Running);
    EXPECT_EQ(pulse->endValue().toDouble(), 480);
    EXPECT_EQ(pulse->duration(), 1100);
    EXPECT_EQ(pulse->easingCurve().type(), QEasingCurve::Linear);
}

TEST(MFTaskDelegateStatus, ReportsLaunchAndTerminationInTheConsole)
{
    DelegateFixture f;
    f.delegate.taskDidLaunch(nullptr);
    f.delegate.taskDidRecieveInvalidate(nullptr);
    f.delegate.taskDidTerminate(nullptr);
    EXPECT_EQ(f.outputView.text, u"Task launched\nTask terminated\n"_s);
    f.delegate.setIsFinderCopy(true);
    EXPECT_EQ(f.view.finderCopy, true);
    EXPECT_TRUE(f.delegate.isFinderCopy());
}

} // namespace

// --- One run after another ---------------------------------------------------

TEST(MFTaskDelegateRuns, ReadsOnlyTheBoundTaskAndDropsTheRest)
{
    DelegateFixture f;
    CompletionCounter completions;
    ProcessTask first;
    ProcessTask second;
    f.delegate.setCurrentTask(&first);
    f.delegate.taskDidRecieveData("\t://: Data/a\n", &first);
    f.delegate.taskDidRecieveData("\t://: Data/other\nrsync: [sender] stray (2)\n", &second);
    f.delegate.taskDidRecieveErrorData("rsync: [sender] stray (2)\n", nullptr);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
    EXPECT_EQ(f.delegate.errorLineCount(), 0);

    // The end of a task that is not current completes nothing.
    f.delegate.taskDidTerminate(&second);
    EXPECT_EQ(completions.posts, 0);
    f.delegate.taskDidTerminate(&first);
    EXPECT_EQ(completions.posts, 1);

    // No current task: everything is dropped.
    f.delegate.setCurrentTask(nullptr);
    f.delegate.taskDidRecieveData("\t://: Data/b\n", &first);
    f.delegate.taskDidTerminate(&first);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
    EXPECT_EQ(completions.posts, 1);
}

TEST(MFTaskDelegateRuns, ChunksHeldBackByTheAlertAreDroppedOnceTheirTaskIsReplaced)
{
    DelegateFixture f;
    ProcessTask first;
    ProcessTask next;
    f.delegate.setCurrentTask(&first);
    f.delegate.setTotalFiles(5);
    f.alerts.whileShown = [&] {
        // Held back while the alert is open; meanwhile the next run starts.
        f.delegate.taskDidRecieveData("rsync: [sender] write error: Broken pipe (32)\n", &first);
        f.delegate.taskDidTerminate(&first);
        f.delegate.resetForNewRun();
        f.delegate.setCurrentTask(&next);
    };
    f.delegate.taskDidRecieveData("rsync: [receiver] write failed on \"/d/x\": No space left on device (28)\n", &first);
    EXPECT_EQ(f.delegate.errorLineCount(), 0);
    EXPECT_FALSE(f.delegate.sawOutOfSpace());
    EXPECT_FALSE(f.delegate.copyOutcome());
    f.delegate.taskDidRecieveData("\t://: Data/a\n", &next);
    EXPECT_EQ(f.delegate.myIndependentCounter(), 1u);
}

TEST(MFTaskDelegateRuns, EveryRunStartsAliveAfterTheLastOneFinished)
{
    DelegateFixture f;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        ProcessTask task;
        f.delegate.resetForNewRun();
        EXPECT_FALSE(f.delegate.isFinishingUp());
        EXPECT_TRUE(f.delegate.lastFullPath().isEmpty());
        EXPECT_TRUE(f.delegate.remainder().isEmpty());
        EXPECT_TRUE(f.delegate.dataTransferRate().isEmpty());
        f.delegate.setCurrentTask(&task);
        f.delegate.setTotalFiles(2);
        f.delegate.setTotalSize(2048);
        f.displayText.history.clear();
        f.delegate.taskDidRecieveData("\t://: Data/a\n  1,024 50%  1.00MB/s  0:00:01  ", &task);
        // The status timer runs again and the first tick shows the status.
        ASSERT_NE(f.delegate.statusUpdateTimer(), nullptr);
        EXPECT_EQ(f.displayText.history.size(), 1);
        EXPECT_TRUE(f.delegate.noOutputTimer()->isActive());
        f.delegate.taskDidRecieveData("\nNumber of files: 2\nunfinished", &task);
        f.delegate.programDidEnd(CopyTermination{false, 0});
        EXPECT_TRUE(f.delegate.isFinishingUp());
    }
}

TEST(MFTaskDelegateRuns, ShowsTheOutcomeInsteadOfTheCompletionText)
{
    DelegateFixture f;
    CompletionCounter completions;
    f.delegate.setTotalFiles(1);
    f.delegate.setTotalSize(1);
    f.out("filename overflows max-path len by 23: Deep/x\n\t://: Data/a\n\nNumber of files: 2\n\n"
          "total size is 4  speedup is 0.00\n"
          "rsync error: some files/attrs were not transferred (see previous errors) (code 23) at main.c(1394)\n");
    f.delegate.programDidEnd(CopyTermination{false, 23});
    DelegateFixture::drainQueuedTexts();
    EXPECT_EQ(completions.posts, 1);
    EXPECT_EQ(f.jobState.text, u"Finished with 1 error: filename overflows max-path len by 23: Deep/x"_s);
    EXPECT_FALSE(f.jobState.history.contains(u"Backup Complete."_s));
}
