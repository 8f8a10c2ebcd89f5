#pragma once

// The command line of vellumor-cli, checked before anything runs.
//
//   vellumor-cli backup [--snapshot [--fast]] [--keep N] [--exclude PATH]... SOURCE... DEST
//   vellumor-cli restore SOURCE DEST
//   vellumor-cli schedule [--snapshot] [--keep N] [--exclude PATH]... --days mon,tue,... --at HH:MM SOURCE DEST
//   vellumor-cli prune [--thin [H,D,W,M]] [--dry-run] SOURCE DEST
//   vellumor-cli list
//   vellumor-cli status
//   vellumor-cli log [-n N]
//   vellumor-cli run-due
//   vellumor-cli --help
//
// What callers may rely on: a parsed job has absolute, cleaned paths (relative
// ones resolved against `workingDirectory`), sources that exist, and a
// destination that is neither a source nor inside one on the same file
// system, and whose copy of a source would not land on that source itself.
// Any problem gives `error` with a message that names the bad argument.

#include "ThinningPolicy.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <optional>

struct CliJob
{
    enum class Command { Backup, Restore, Schedule, Prune, List, Status, Log, RunDue, Help };
    Command command = Command::Help;
    bool snapshot = false;
    bool fast = false; // backup --snapshot --fast: this run takes the fast form
    int snapshotsToKeep = 0;
    bool snapshotsToKeepGiven = false; // --keep was on the command line
    // --thin: thinning instead of the newest N (the defaults, or H,D,W,M).
    std::optional<ThinningPolicy> thinning;
    bool dryRun = false; // prune --dry-run: nothing is removed
    int logLines = 0;    // log -n N: the newest N records; 0 all
    // schedule: the weekdays (0 Monday ... 6 Sunday) and the time of day.
    std::array<bool, 7> days{};
    QTime time;
    QStringList excludedFiles;
    QStringList sources;
    QString destination;
    QString error; // non-empty: a usage error
};

CliJob parseCommandLine(const QStringList &arguments, const QString &workingDirectory);
QString usageText();
