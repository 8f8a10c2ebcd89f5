// What the terminal prints when a run ends, and the exit status it leads
// to, for a single backup and for run-due.
#include "RunReport.h"

#include <gtest/gtest.h>

namespace {

using Outcome = MFTaskAppDelegate::RunOutcome;

TEST(RunReport, EachEndingPrintsItsLinesAndSetsTheExitStatus)
{
    const QString copied = QStringLiteral("/b/VLM Snapshot 06-12-2026 Sun 21-00 PM/");
    const QString detail = QStringLiteral("rsync error: error in file IO (code 11)");
    const struct
    {
        const char *name;
        Outcome outcome;
        QString detail;
        bool runDue;
        QStringList out;
        QStringList err;
        std::optional<int> exitStatus;
        bool endsSession;
    } cases[] = {
        {"backup completed", Outcome::Completed, {}, false, {u"Copied to "_qs + copied}, {}, 0, true},
        {"backup failed", Outcome::Failed, detail, false, {}, {detail}, 1, true},
        {"backup failed silently", Outcome::Failed, {}, false, {}, {}, 1, true},
        {"backup with errors",
         Outcome::CompletedWithErrors,
         u"Finished with 1 error: x"_qs,
         false,
         {},
         {u"Finished with 1 error: x"_qs},
         1,
         true},
        {"backup stopped", Outcome::Stopped, {}, false, {}, {u"Stopped."_qs}, 130, true},
        {"backup volume missing", Outcome::VolumeMissing, {}, false, {}, {}, 1, true},
        {"due job completed", Outcome::Completed, {}, true, {u"Copied to "_qs + copied}, {}, std::nullopt, false},
        {"due job failed: next one", Outcome::Failed, detail, true, {}, {detail}, 1, false},
        {"due job out of space",
         Outcome::OutOfSpace,
         u"Out of drive space"_qs,
         true,
         {},
         {u"Out of drive space"_qs},
         1,
         false},
        {"due job stopped: session ends", Outcome::Stopped, {}, true, {}, {u"Stopped."_qs}, 130, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const RunReport report = reportRunEnd(c.outcome, c.detail, copied, c.runDue);
        EXPECT_EQ(report.out, c.out);
        EXPECT_EQ(report.err, c.err);
        EXPECT_EQ(report.exitStatus, c.exitStatus);
        EXPECT_EQ(report.endsSession, c.endsSession);
    }
}

} // namespace
