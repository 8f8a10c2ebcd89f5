// The outcome of a run, from the copy program's exit status and what its
// output named.
#include "CopyOutcome.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct OutcomeCase
{
    const char *name;
    CopyObservations seen;
    CopyTermination end;
    bool userSaidStop;
    CopyResult result;
    const char *status;
    const char *title;
};

const QString overflow = u"filename overflows max-path len by 23: Deep/x"_s;
const QString code23 = u"rsync error: some files/attrs were not transferred (see previous errors) (code 23)"_s;

TEST(CopyOutcome, FollowsTheExitStatusAndNamesTheCause)
{
    const OutcomeCase cases[] = {
        {"clean",
         {0, {}, {}, {}, true, false},
         {false, 0},
         false,
         CopyResult::Completed,
         "Backup Complete.",
         "Operation Complete"},
        {"exit 0 without the summary",
         {},
         {false, 0},
         false,
         CopyResult::Failed,
         "Backup failed: rsync exited with 0 without its summary",
         "Backup Failed"},
        {"exit 0 without the summary after an error",
         {1, u"rsync: x"_s, u"rsync: x"_s, {}, false, false},
         {false, 0},
         false,
         CopyResult::Failed,
         "Backup failed: rsync: x",
         "Backup Failed"},
        {"exit 0 trusts rsync",
         {1, overflow, overflow, {}, true, false},
         {false, 0},
         false,
         CopyResult::Completed,
         "Backup Complete.",
         "Operation Complete"},
        {"vanished files",
         {0, {}, {}, u"file has vanished: \"/s/a\""_s, true, false},
         {false, 24},
         false,
         CopyResult::CompletedWithNote,
         "Backup Complete. Some source files vanished while they were copied: file has vanished: \"/s/a\"",
         "Operation Complete"},
        {"one error after the summary",
         {1, overflow, overflow, {}, true, false},
         {false, 23},
         false,
         CopyResult::CompletedWithErrors,
         "Finished with 1 error: filename overflows max-path len by 23: Deep/x",
         "Backup Finished with Errors"},
        {"three errors",
         {3, u"rsync: a"_s, u"rsync: a"_s, {}, true, false},
         {false, 23},
         false,
         CopyResult::CompletedWithErrors,
         "Finished with 3 errors, the first: rsync: a",
         "Backup Finished with Errors"},
        {"only the generic line",
         {0, {}, code23, {}, true, false},
         {false, 23},
         false,
         CopyResult::CompletedWithErrors,
         "Finished with errors: rsync error: some files/attrs were not transferred "
         "(see previous errors) (code 23)",
         "Backup Finished with Errors"},
        {"nothing named",
         {0, {}, {}, {}, true, false},
         {false, 23},
         false,
         CopyResult::CompletedWithErrors,
         "Finished with errors: rsync exited with status 23 (Partial transfer due to error)",
         "Backup Finished with Errors"},
        {"fatal before the summary",
         {1, u"rsync: [Receiver] mkdir \"/d\" failed"_s, u"rsync: [Receiver] mkdir"_s, {}, false, false},
         {false, 11},
         false,
         CopyResult::Failed,
         "Backup failed: rsync: [Receiver] mkdir \"/d\" failed",
         "Backup Failed"},
        {"killed from outside",
         {},
         {true, 9},
         false,
         CopyResult::Failed,
         "Backup failed: rsync was killed by signal 9",
         "Backup Failed"},
        {"signal after the summary",
         {0, {}, {}, {}, true, false},
         {true, 15},
         false,
         CopyResult::Failed,
         "Backup failed: rsync was killed by signal 15",
         "Backup Failed"},
        {"disk full",
         {2, u"rsync: write failed: No space left on device (28)"_s, {}, {}, false, true},
         {false, 11},
         false,
         CopyResult::OutOfSpace,
         "Out of drive space: rsync: write failed: No space left on device (28)",
         "Out of drive space"},
        {"stopped",
         {1, overflow, overflow, {}, false, false},
         {true, 15},
         true,
         CopyResult::Stopped,
         "Stopped.",
         "Backup Stopped"},
    };
    for (const OutcomeCase &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const CopyOutcome outcome = CopyOutcomes::decide(testCase.seen, testCase.end, testCase.userSaidStop);
        EXPECT_EQ(outcome.result, testCase.result);
        EXPECT_EQ(CopyOutcomes::statusText(outcome), QString::fromUtf8(testCase.status));
        EXPECT_EQ(CopyOutcomes::notificationTitle(outcome), QString::fromUtf8(testCase.title));
        EXPECT_EQ(outcome.succeeded(),
                  testCase.result == CopyResult::Completed || testCase.result == CopyResult::CompletedWithNote);
        EXPECT_EQ(outcome.exitStatus, testCase.end.signaled ? 128 + testCase.end.code : testCase.end.code);
    }
}

TEST(CopyOutcome, NotificationTextsNameTheDestinationAndTheCause)
{
    CopyOutcome clean;
    EXPECT_EQ(CopyOutcomes::notificationText(clean, u"/b/"_s),
              u"Finished transfer to /b/\nClick this notification to view it."_s);
    const CopyOutcome withErrors = CopyOutcomes::decide({1, overflow, overflow, {}, true, false}, {false, 23}, false);
    EXPECT_EQ(CopyOutcomes::notificationText(withErrors, u"/b/"_s),
              u"The backup to /b/ finished, but not everything was copied.\nFinished with 1 error: "_s + overflow);
    const CopyOutcome failed = CopyOutcomes::decide({0, {}, {}, {}, false, false}, {false, 12}, false);
    EXPECT_EQ(
        CopyOutcomes::notificationText(failed, u"/b/"_s),
        u"The backup to /b/ did not finish.\nrsync exited with status 12 (Error in rsync protocol data stream)"_s);
    // A cause holding "%1" is shown as it is.
    const CopyOutcome percent = CopyOutcomes::decide({1, u"rsync: a %1 b"_s, {}, {}, true, false}, {false, 23}, false);
    EXPECT_EQ(CopyOutcomes::statusText(percent), u"Finished with 1 error: rsync: a %1 b"_s);
}

} // namespace
