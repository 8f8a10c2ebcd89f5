#pragma once

// The outcome of one check of the schedule, and the one line the agent logs
// for it, so that the journal says why a backup did or did not run: what
// woke the agent, what was due, what was reported or skipped and why, and
// when the next wake-up is.

#include "ScheduleFile.h"

#include <QDateTime>
#include <QList>
#include <QString>

enum class DueOutcome {
    Reported,          // "JOBTODO" posted
    WaitingForPower,   // "waitForPowerToBackup" set and the machine on battery
    SourceAbsent,      // the source's volume is not mounted
    DestinationAbsent, // the destination's volume is not mounted
};

enum class LaunchOutcome {
    NotNeeded,      // nothing was reported
    AlreadyRunning, // the application has its name on the bus (or is starting)
    Started,
    Failed,
};

struct DueResult
{
    QString sourcePath;
    QString destPath;
    QString runDate;
    DueOutcome outcome = DueOutcome::Reported;
};

struct CheckReport
{
    QString trigger;
    ScheduleReadResult::State fileState = ScheduleReadResult::State::Missing;
    QString fileError;
    qsizetype jobs = 0;
    QList<DueResult> due;
    int unparsable = 0;
    LaunchOutcome launch = LaunchOutcome::NotNeeded;
    bool timerRearmed = false;
    QDateTime nextWakeUp; // the pending wake-up after the check; invalid: none

    qsizetype reportedCount() const;
    QString logLine() const;
};
