#pragma once

// One terminal session of backup, restore or run-due: the terminal view, the
// schedule, desktop banners and the controller, with Ctrl-C taking the stop
// path. A backup or restore is one run; run-due starts as the agent would
// start the application, runs every due job in turn and ends when drained.

#include "CommandLine.h"

class QCoreApplication;

// Runs the session's event loop and answers the process's exit status
// (see RunReport).
int runTerminalSession(QCoreApplication &app, const CliJob &job);

// The peak resident size of this process, as "/proc/self/status" reports
// it ("VmHWM"), for the memory benchmark; empty when unknown.
QByteArray peakMemory();
