#pragma once

// The terminal's schedule commands and the schedule as the terminal keeps
// it: read once from the support folder; every save rewrites the file and
// tells the agent.

#include "CommandLine.h"
#include "JobRecord.h"
#include "SharedSchedule.h"

#include <memory>
#include <optional>

class TerminalView;

std::unique_ptr<SharedSchedule> loadSchedule();
// The pair's stored link destination when it still exists.
std::optional<QString> existingLinkDest(SharedSchedule &schedule, const QString &source, const QString &dest);
// Shows the pair's saved weekdays, time and count in the view, so a save
// after a terminal run keeps the job's schedule as it was.
void showSavedSchedule(TerminalView &view, const JobRecord &record);

// vellumor-cli list: the schedule as the window's list shows it.
int listSchedule();
// vellumor-cli schedule: saves the job as the window's "Add to schedule" does.
int scheduleJob(const CliJob &job);
