#pragma once

// What the terminal says when a run ends, and what it does to the exit
// status: 0 when every run completed cleanly, 130 after a stop, 1 otherwise.
// A single backup or restore ends the session with its run; run-due goes
// on to the next due job unless the run was stopped, and keeps 1 once any
// run was not clean.

#include "MFTaskAppDelegate.h"

#include <QString>
#include <QStringList>

#include <optional>

struct RunReport
{
    QStringList out;               // lines for standard output
    QStringList err;               // lines for standard error
    std::optional<int> exitStatus; // the session's new exit status, if it changes
    bool endsSession = false;
};

RunReport reportRunEnd(MFTaskAppDelegate::RunOutcome outcome, const QString &detail, const QString &copiedTo,
                       bool runDue);
