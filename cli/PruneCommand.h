#pragma once

// vellumor-cli prune: applies a job's rule for old snapshots now, outside a
// run, through the same safe removal a run uses (renamed, then removed),
// while holding the destination's lock.

#include "CommandLine.h"

// Prints "keep" or "remove", a tab and the path of each of the job's
// complete snapshots, oldest first; removes the "remove" ones unless
// job.dryRun. 0 when all went as printed, 1 otherwise.
int pruneJob(const CliJob &job);
