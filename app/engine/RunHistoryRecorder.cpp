#include "RunHistoryRecorder.h"

#include "Clock.h"

RunHistoryRecorder::RunHistoryRecorder(MFTaskAppDelegate &controller, const RunHistory &history, const Clock &clock)
    : QObject(&controller)
    , m_controller(controller)
    , m_history(history)
    , m_clock(clock)
{
    connect(&controller, &MFTaskAppDelegate::runStarted, this, &RunHistoryRecorder::runStarted);
    connect(&controller, &MFTaskAppDelegate::runFinished, this, &RunHistoryRecorder::runFinished);
}

RunRecord::Outcome RunHistoryRecorder::recordedOutcome(MFTaskAppDelegate::RunOutcome outcome)
{
    using Outcome = MFTaskAppDelegate::RunOutcome;
    switch (outcome) {
    case Outcome::Completed:
        return RunRecord::Outcome::Succeeded;
    case Outcome::CompletedWithNote:
        return RunRecord::Outcome::SucceededWithVanished;
    case Outcome::OutOfSpace:
        return RunRecord::Outcome::OutOfSpace;
    case Outcome::Stopped:
        return RunRecord::Outcome::Stopped;
    case Outcome::CompletedWithErrors:
    case Outcome::Failed:
    case Outcome::VolumeMissing:
    case Outcome::Refused:
        break;
    }
    return RunRecord::Outcome::Failed;
}

void RunHistoryRecorder::runStarted()
{
    const BackupRun *run = m_controller.currentRun();
    if (!run)
        return;
    const BackupRunRequest &request = run->request();
    RunRecord record;
    // A scheduled job is known by its record's pair; any other run by its
    // first source and its destination, as a saved job would be.
    record.sourcePath = request.jobSourcePath.isEmpty() ? request.backupSources.value(0) : request.jobSourcePath;
    record.destPath = request.jobDestPath.isEmpty() ? request.backupDest : request.jobDestPath;
    record.started = m_clock.now();
    record.kind = request.isFinderCopy ? RunRecord::Kind::FileManagerCopy
        : request.isRestore            ? RunRecord::Kind::Restore
        : request.modeRow == 1         ? RunRecord::Kind::Snapshot
                                       : RunRecord::Kind::Sync;
    m_pending = record;
}

void RunHistoryRecorder::runFinished(MFTaskAppDelegate::RunOutcome outcome, const QString &detail)
{
    if (!m_pending)
        return;
    RunRecord record = *std::exchange(m_pending, std::nullopt);
    record.ended = m_clock.now();
    record.outcome = recordedOutcome(outcome);
    if (!record.succeeded() && record.outcome != RunRecord::Outcome::Stopped) {
        record.cause = detail;
        if (record.cause.isEmpty() && outcome == MFTaskAppDelegate::RunOutcome::VolumeMissing)
            record.cause = QStringLiteral("The source or the destination is not available");
    }
    MFTaskDelegate *reader = m_controller.taskDelegate();
    record.files = qint64(reader->itemsOfRun());
    record.bytes = qint64(reader->totalSize().value_or(0));
    // Completion has made the new snapshot the job's link destination.
    if (record.kind == RunRecord::Kind::Snapshot && record.succeeded())
        record.snapshot = m_controller.linkDest;
    m_history.append(record);
}
