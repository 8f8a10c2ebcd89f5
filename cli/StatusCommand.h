#pragma once

// vellumor-cli status and vellumor-cli log: how the jobs stand, and the run
// history, for people and for scripts.

#include "CommandLine.h"

// One row per saved job and per other pair in the run history: source,
// destination, last complete backup, last attempt, next run, snapshots kept
// and the destination's free space (when it is present). 0, or 1 when a job
// is overdue or its last attempt failed.
int printStatus();
// The history, oldest first (the newest job.logLines only, when given).
int printLog(const CliJob &job);
