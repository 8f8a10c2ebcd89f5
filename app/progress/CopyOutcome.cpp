#include "CopyOutcome.h"

using namespace Qt::StringLiterals;

namespace {

// rsync's exit statuses with a meaning of their own.
constexpr int vanishedSourceFiles = 24;

QString causeFor(const CopyObservations &observations, const CopyTermination &termination)
{
    if (!observations.firstCauseLine.isEmpty())
        return observations.firstCauseLine;
    if (!observations.firstErrorLine.isEmpty())
        return observations.firstErrorLine;
    if (termination.signaled)
        return u"rsync was killed by signal %1"_s.arg(termination.code);
    const QString meaning = CopyOutcomes::exitStatusMeaning(termination.code);
    return meaning.isEmpty() ? u"rsync exited with status %1"_s.arg(termination.code)
                             : u"rsync exited with status %1 (%2)"_s.arg(termination.code).arg(meaning);
}

} // namespace

namespace CopyOutcomes {

CopyOutcome decide(const CopyObservations &observations, const CopyTermination &termination, bool userSaidStop)
{
    CopyOutcome outcome;
    outcome.exitStatus = termination.signaled ? 128 + termination.code : termination.code;
    outcome.errorCount = observations.causeLineCount;
    if (userSaidStop) {
        outcome.result = CopyResult::Stopped;
        return outcome;
    }
    // With "--stats" rsync prints its summary on every success: an exit 0
    // without it is something else pretending to be rsync, or cut short.
    if (!termination.signaled && termination.code == 0 && observations.sawSummary) {
        outcome.result = CopyResult::Completed;
        return outcome;
    }
    if (!termination.signaled && termination.code == vanishedSourceFiles) {
        outcome.result = CopyResult::CompletedWithNote;
        outcome.cause = observations.firstNoteLine.isEmpty() ? exitStatusMeaning(vanishedSourceFiles)
                                                             : observations.firstNoteLine;
        return outcome;
    }
    outcome.cause = causeFor(observations, termination);
    if (!termination.signaled && termination.code == 0 && observations.firstErrorLine.isEmpty())
        outcome.cause = u"rsync exited with 0 without its summary"_s;
    if (observations.sawOutOfSpace)
        outcome.result = CopyResult::OutOfSpace;
    else if (observations.sawSummary && !termination.signaled)
        outcome.result = CopyResult::CompletedWithErrors;
    else
        outcome.result = CopyResult::Failed;
    return outcome;
}

QString exitStatusMeaning(int status)
{
    switch (status) {
    case 0:
        return u"Success"_s;
    case 1:
        return u"Syntax or usage error"_s;
    case 2:
        return u"Protocol incompatibility"_s;
    case 3:
        return u"Errors selecting input/output files, dirs"_s;
    case 4:
        return u"Requested action not supported"_s;
    case 5:
        return u"Error starting client-server protocol"_s;
    case 6:
        return u"Daemon unable to append to log-file"_s;
    case 10:
        return u"Error in socket I/O"_s;
    case 11:
        return u"Error in file I/O"_s;
    case 12:
        return u"Error in rsync protocol data stream"_s;
    case 13:
        return u"Errors with program diagnostics"_s;
    case 14:
        return u"Error in IPC code"_s;
    case 20:
        return u"Received SIGUSR1 or SIGINT"_s;
    case 21:
        return u"Some error returned by waitpid()"_s;
    case 22:
        return u"Error allocating core memory buffers"_s;
    case 23:
        return u"Partial transfer due to error"_s;
    case 24:
        return u"Partial transfer due to vanished source files"_s;
    case 25:
        return u"The --max-delete limit stopped deletions"_s;
    case 30:
        return u"Timeout in data send/receive"_s;
    case 35:
        return u"Timeout waiting for daemon connection"_s;
    default:
        return QString();
    }
}

QString statusText(const CopyOutcome &outcome)
{
    switch (outcome.result) {
    case CopyResult::Completed:
        return u"Backup Complete."_s;
    case CopyResult::CompletedWithNote:
        return u"Backup Complete. Some source files vanished while they were copied: %1"_s.arg(outcome.cause);
    case CopyResult::CompletedWithErrors:
        if (outcome.errorCount == 1)
            return u"Finished with 1 error: %1"_s.arg(outcome.cause);
        if (outcome.errorCount > 1)
            return u"Finished with %1 errors, the first: %2"_s.arg(outcome.errorCount).arg(outcome.cause);
        return u"Finished with errors: %1"_s.arg(outcome.cause);
    case CopyResult::OutOfSpace:
        return u"Out of drive space: %1"_s.arg(outcome.cause);
    case CopyResult::Failed:
        return u"Backup failed: %1"_s.arg(outcome.cause);
    case CopyResult::Stopped:
        return u"Stopped."_s;
    }
    return QString();
}

QString notificationTitle(const CopyOutcome &outcome)
{
    switch (outcome.result) {
    case CopyResult::Completed:
    case CopyResult::CompletedWithNote:
        return u"Operation Complete"_s;
    case CopyResult::CompletedWithErrors:
        return u"Backup Finished with Errors"_s;
    case CopyResult::OutOfSpace:
        return u"Out of drive space"_s;
    case CopyResult::Failed:
        return u"Backup Failed"_s;
    case CopyResult::Stopped:
        return u"Backup Stopped"_s;
    }
    return QString();
}

QString notificationText(const CopyOutcome &outcome, const QString &destination)
{
    switch (outcome.result) {
    case CopyResult::Completed:
        return u"Finished transfer to %1\nClick this notification to view it."_s.arg(destination);
    case CopyResult::CompletedWithNote:
        return u"Finished transfer to %1\nSome source files vanished while they were copied.\n"
               "Click this notification to view it."_s.arg(destination);
    case CopyResult::CompletedWithErrors:
        return u"The backup to %1 finished, but not everything was copied.\n%2"_s.arg(destination, statusText(outcome));
    case CopyResult::OutOfSpace:
        return u"Out of drive space: the copy to %1 is incomplete.\n%2"_s.arg(destination, outcome.cause);
    case CopyResult::Failed:
        return u"The backup to %1 did not finish.\n%2"_s.arg(destination, outcome.cause);
    case CopyResult::Stopped:
        return u"The backup to %1 was stopped."_s.arg(destination);
    }
    return QString();
}

} // namespace CopyOutcomes
