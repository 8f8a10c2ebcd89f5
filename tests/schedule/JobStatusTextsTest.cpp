// How a job stands, as the window says it: the last backup, the last attempt
// when it went otherwise, the next run and the overdue rule, from a table of
// (now, history, run dates), a jump of the wall clock over a suspend included.
#include "JobStatusTexts.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString source = u"/home/u/Pictures"_s;
const QString dest = u"/media/u/Backup Disk"_s;

QDateTime at(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), Qt::UTC);
}

RunRecord run(RunRecord::Outcome outcome, const QDateTime &ended, const QString &cause = {})
{
    RunRecord record;
    record.sourcePath = source;
    record.destPath = dest;
    record.started = ended.addSecs(-60);
    record.ended = ended;
    record.outcome = outcome;
    record.cause = cause;
    return record;
}

TEST(JobStatusTexts, FromATableOfNowHistoryAndRunDates)
{
    using O = RunRecord::Outcome;
    const QStringList daily{u"Thu-10-12-2026 09:30"_s, u"Fri-11-12-2026 09:30"_s, u"Sat-12-12-2026 09:30"_s,
                            u"Sun-13-12-2026 09:30"_s, u"Mon-14-12-2026 09:30"_s, u"Tue-15-12-2026 09:30"_s,
                            u"Wed-16-12-2026 09:30"_s};
    const QStringList monday{u"Mon-14-12-2026 09:30"_s};
    const struct
    {
        const char *name;
        QDateTime now;
        QList<RunRecord> history;
        QStringList dates; // empty: the pair is not scheduled
        QString lastBackup;
        QString lastAttempt;
        QString next;
        bool overdue;
    } cases[] = {
        {"two hours ago, next tomorrow",
         at(9, 10),
         {run(O::Succeeded, at(9, 8))},
         daily,
         u"Last backup: 2 hours ago"_s,
         {},
         u"Next: tomorrow at 09:30"_s,
         false},
        {"the machine slept nine hours since",
         at(9, 19),
         {run(O::Succeeded, at(9, 8))},
         daily,
         u"Last backup: 11 hours ago"_s,
         {},
         u"Next: tomorrow at 09:30"_s,
         false},
        {"a failed attempt after it",
         at(9, 10),
         {run(O::Succeeded, at(9, 8)),
          run(O::OutOfSpace, at(9, 9, 55), u"Backup Disk has 38 MB free; this backup needs about 1.5 GB."_s)},
         daily,
         u"Last backup: 2 hours ago"_s,
         u"Last attempt failed: out of drive space, 5 min ago"_s,
         u"Next: tomorrow at 09:30"_s,
         false},
        {"an rsync failure names its cause",
         at(9, 10),
         {run(O::Failed, at(9, 9, 59), u"Backup failed: rsync: [Receiver] mkdir \"/x\" failed."_s)},
         {},
         u"No backup yet"_s,
         u"Last attempt failed: rsync: [Receiver] mkdir \"/x\" failed, 1 min ago"_s,
         {},
         false},
        {"postponed by the agent",
         at(9, 10),
         {run(O::Succeeded, at(8, 9)), run(O::Skipped, at(9, 9), u"Backup Disk is not connected"_s)},
         daily,
         u"Last backup: yesterday"_s,
         u"Last attempt postponed: Backup Disk is not connected, 1 hour ago"_s,
         u"Next: tomorrow at 09:30"_s,
         false},
        {"stopped",
         at(9, 10),
         {run(O::Succeeded, at(9, 9, 59)), run(O::Stopped, at(9, 10))},
         monday,
         u"Last backup: 1 min ago"_s,
         u"Last attempt stopped, just now"_s,
         u"Next: Monday at 09:30"_s,
         false},
        {"never run, due later today",
         at(9, 10),
         {},
         {u"Wed-09-12-2026 14:30"_s},
         u"No backup yet"_s,
         {},
         u"Next: today at 14:30"_s,
         false},
        {"next in two weeks",
         at(9, 10),
         {},
         {u"Wed-23-12-2026 09:30"_s},
         u"No backup yet"_s,
         {},
         u"Next: 23 Dec at 09:30"_s,
         false},
        {"daily, four days without a backup: overdue",
         at(9, 10),
         {run(O::Succeeded, at(5, 10))},
         daily,
         u"Last backup: 4 days ago"_s,
         {},
         u"Next: tomorrow at 09:30"_s,
         true},
        {"weekly, six days: not yet",
         at(9, 10),
         {run(O::Succeeded, at(3, 10))},
         monday,
         u"Last backup: 6 days ago"_s,
         {},
         u"Next: Monday at 09:30"_s,
         false},
        {"weekly, eight days: overdue",
         at(9, 10),
         {run(O::Succeeded, at(1, 10))},
         monday,
         u"Last backup: 8 days ago"_s,
         {},
         u"Next: Monday at 09:30"_s,
         true},
        {"weekly, never good, failing for eight days: overdue",
         at(9, 10),
         {run(O::Failed, at(1, 10), u"Backup failed: boom"_s)},
         monday,
         u"No backup yet"_s,
         u"Last attempt failed: boom, 8 days ago"_s,
         u"Next: Monday at 09:30"_s,
         true},
        {"not scheduled: never overdue",
         at(9, 10),
         {run(O::Succeeded, at(1, 10))},
         {},
         u"Last backup: 8 days ago"_s,
         {},
         {},
         false},
        {"a clock set back: just now",
         at(9, 10),
         {run(O::Succeeded, at(9, 11))},
         {},
         u"Last backup: just now"_s,
         {},
         {},
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        JobRecord record{{JobKey::sourcePath, source}, {JobKey::destPath, dest}, {JobKey::scheduledDates, c.dates}};
        // Another job's record never counts for this one.
        QList<RunRecord> history = c.history;
        RunRecord other = run(RunRecord::Outcome::Succeeded, c.now);
        other.destPath = u"/elsewhere"_s;
        history.append(other);
        const JobHealth health
            = JobHealths::healthOf(history, source + u'/', dest, c.dates.isEmpty() ? nullptr : &record, c.now);
        EXPECT_EQ(JobStatusTexts::lastBackup(health, c.now), c.lastBackup);
        EXPECT_EQ(JobStatusTexts::lastAttempt(health, c.now), c.lastAttempt);
        EXPECT_EQ(JobStatusTexts::next(health.nextRun, c.now), c.next);
        EXPECT_EQ(health.overdue, c.overdue);
    }
}

} // namespace
