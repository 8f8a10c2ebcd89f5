#pragma once

// How one run of the copy program ended, decided once the program has ended:
// from its exit status first, and from what its output said (the first line
// that names a cause, the number of such lines, a full disk, whether the
// summary was printed).
//
// What callers may rely on:
//  - exit status 0 after the summary is a success (an exit 0 without the
//    summary that "--stats" always prints fails the run) and 24 (source
//    files vanished while being copied) a success with a note; any other status is a run with errors
//    when rsync went on to print its summary, a failed run when it did not,
//    and out of space whenever the output reported a full disk;
//  - a run the user stopped is Stopped whatever the program's status;
//  - a signal that ended the program (not the user's stop) fails the run;
//  - the texts name the cause: the first error line that names one, never the
//    generic "rsync error: ... (code N)" line when a better one exists, and
//    the meaning of the exit status when the output named nothing;
//  - pure functions over plain data: no I/O, no clock.

#include <QString>

enum class CopyResult { Completed, CompletedWithNote, CompletedWithErrors, OutOfSpace, Failed, Stopped };

// What the output reader saw during one run.
struct CopyObservations
{
    int causeLineCount = 0;  // error lines that name a cause
    QString firstCauseLine;  // the first of them
    QString firstErrorLine;  // the first error line of any kind
    QString firstNoteLine;   // the first "file has vanished" line
    bool sawSummary = false; // rsync printed its "--stats" summary
    bool sawOutOfSpace = false;
};

// How the program ended.
struct CopyTermination
{
    bool signaled = false; // ended by a signal
    int code = 0;          // the exit status, or the signal number
};

struct CopyOutcome
{
    CopyResult result = CopyResult::Completed;
    int exitStatus = 0; // rsync's exit status; 128 + signal for a signal
    int errorCount = 0;
    QString cause; // empty for a clean success

    bool succeeded() const { return result == CopyResult::Completed || result == CopyResult::CompletedWithNote; }
};

namespace CopyOutcomes {

CopyOutcome decide(const CopyObservations &observations, const CopyTermination &termination, bool userSaidStop);

// The meaning of an rsync exit status, from its manual ("Partial transfer
// due to error" for 23); empty for a status the manual does not list.
QString exitStatusMeaning(int status);

// The one-line status shown when the run has ended: "Backup Complete." for a
// success, "Finished with 1 error: CAUSE" for a run with one error...
QString statusText(const CopyOutcome &outcome);
// The desktop notification's title and text for the run to `destination`.
QString notificationTitle(const CopyOutcome &outcome);
QString notificationText(const CopyOutcome &outcome, const QString &destination);

} // namespace CopyOutcomes
