#pragma once

// The window's short texts about a job: "Last backup: 2 hours ago", "Last
// attempt failed: out of drive space, 5 min ago", "Next: tomorrow at
// 09:30". Pure functions of the job's health and the clock's now; the
// caller refreshes them (every minute, and on wake), so time asleep counts.
//
// What callers may rely on: a time in the future (a clock set back) reads
// as "just now"; calendar words ("today", "tomorrow", weekday names) follow
// the local calendar of `now`, in English.

#include "JobHealth.h"

#include <QDateTime>
#include <QString>

namespace JobStatusTexts {

// "just now", "1 min ago", "3 hours ago", "yesterday", "9 days ago".
QString ago(const QDateTime &then, const QDateTime &now);
// "Last backup: 2 hours ago", or "No backup yet".
QString lastBackup(const JobHealth &health, const QDateTime &now);
// The last attempt when it was not the last backup: "Last attempt failed:
// CAUSE, 5 min ago", "Last attempt stopped, ...", "Last attempt postponed:
// REASON, ..."; empty otherwise.
QString lastAttempt(const JobHealth &health, const QDateTime &now);
// "Next: today at 14:30", "Next: tomorrow at 09:30", "Next: Friday at
// 09:30", "Next: 24 Dec at 09:30"; empty when there is no next run.
QString next(const QDateTime &nextRun, const QDateTime &now);
// The absolute time, for a tooltip: "Wed 9 Dec 2026 09:30".
QString absolute(const QDateTime &time, const QDateTime &now);
// The lines above joined for one label (the empty ones left out).
QString summary(const JobHealth &health, const QDateTime &now);

} // namespace JobStatusTexts
