// The fast snapshot's argument lists, derived from the ordinary linked list,
// and which ends of the dry run give a whole change list.
#include "BackupArguments.h"
#include "FastSnapshot.h"
#include "SnapshotChangeList.h"
#include "TaskTermination.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

BackupArgumentInput linkedInput(bool protectRoot)
{
    BackupArgumentInput input;
    input.excludeListPath = u"/bundle/excludelist.txt"_s;
    input.snapshot = true;
    input.linkDest = u"/backup/VLM Snapshot 05-12-2026 Sat 10-00 AM/"_s;
    input.protectRoot = protectRoot;
    input.backupSources = input.trimmedSources = {u"/home/a/Data"_s};
    input.backupDest = u"/backup/"_s;
    input.snapshotFolderName = u".VLM Snapshot 06-12-2026 Sun 10-00 AM.incomplete"_s;
    input.exclusionPatterns = {u"/Data/cache"_s};
    return input;
}

TEST(FastSnapshotArguments, TheDryRunComparesWithThePreviousSnapshotAndPrintsTheChangeList)
{
    for (const bool protectRoot : {true, false}) {
        SCOPED_TRACE(protectRoot);
        const BackupArgumentInput input = linkedInput(protectRoot);
        const QStringList dryRun = FastSnapshot::dryRunArguments(backupArgumentList(input), input.linkDest);
        const QStringList expected = {u"--dry-run"_s,
                                      u"--exclude-from=/bundle/excludelist.txt"_s,
                                      QString::fromUtf8(SnapshotChangeList::changeListOutFormat()),
                                      u"-laxi"_s,
                                      u"-DH"_s,
                                      u"--exclude=.rsync-partial/"_s,
                                      u"--progress"_s,
                                      u"--numeric-ids"_s,
                                      u"--stats"_s,
                                      u"--delete"_s,
                                      u"--delete-excluded"_s,
                                      u"--exclude"_s,
                                      u"/Data/cache"_s,
                                      u"--"_s,
                                      u"/home/a/Data"_s,
                                      input.linkDest};
        EXPECT_EQ(dryRun, expected);
    }
}

TEST(FastSnapshotArguments, TheCopyTransfersTheListedEntriesOnlyAndNeverProtects)
{
    for (const bool protectRoot : {true, false}) {
        SCOPED_TRACE(protectRoot);
        const QStringList copy
            = FastSnapshot::copyArguments(backupArgumentList(linkedInput(protectRoot)), u"/tmp/list"_s);
        // No exclusions and no "--delete": the list holds nothing excluded,
        // and without recursion rsync would never look beyond it anyway.
        const QStringList expected = {QString::fromUtf16(outFormatArgument),
                                      u"-laxi"_s,
                                      u"-DH"_s,
                                      u"--partial-dir=.rsync-partial"_s,
                                      u"--progress"_s,
                                      u"--numeric-ids"_s,
                                      u"--stats"_s,
                                      u"--link-dest=/backup/VLM Snapshot 05-12-2026 Sat 10-00 AM/"_s,
                                      u"--from0"_s,
                                      u"--files-from=/tmp/list"_s,
                                      u"--ignore-missing-args"_s,
                                      u"--"_s,
                                      u"/"_s,
                                      u"/backup/.VLM Snapshot 06-12-2026 Sun 10-00 AM.incomplete/"_s};
        EXPECT_EQ(copy, expected);
        EXPECT_FALSE(copy.contains(u"-r"_s) || copy.contains(u"--recursive"_s));
    }
}

TEST(FastSnapshotArguments, OnlyADryRunThatEndedNormallyGivesAWholeChangeList)
{
    const struct
    {
        TaskTermination end;
        bool complete;
    } cases[] = {
        {TaskTermination::exited(0), true},
        {TaskTermination::exited(23), true}, // some entries unreadable: the copy meets them too
        {TaskTermination::exited(24), true}, // some vanished
        {TaskTermination::exited(1), false},
        {TaskTermination::exited(12), false},
        {TaskTermination::exited(20), false},
        {TaskTermination::exited(30), false},
        {TaskTermination::signalled(9), false},
        {TaskTermination::signalled(15), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.end.number);
        EXPECT_EQ(FastSnapshot::changeListComplete(c.end), c.complete);
    }
}

} // namespace
