#pragma once

// Writes one record into the run history for every run the controller
// finishes: the job's pair, when it started and ended, what kind of run it
// was, how it ended (with the first cause), what it copied and the snapshot
// it made.
//
// What callers may rely on: the recorder follows the controller's
// runStarted() and runFinished() signals only; a run that never started
// (no runStarted) records nothing; both objects must outlive it.

#include "MFTaskAppDelegate.h"
#include "RunHistory.h"

#include <QObject>

class Clock;

class RunHistoryRecorder final : public QObject
{
    Q_OBJECT
public:
    RunHistoryRecorder(MFTaskAppDelegate &controller, const RunHistory &history, const Clock &clock);

    // The stored outcome of a controller's outcome.
    static RunRecord::Outcome recordedOutcome(MFTaskAppDelegate::RunOutcome outcome);

private:
    void runStarted();
    void runFinished(MFTaskAppDelegate::RunOutcome outcome, const QString &detail);

    MFTaskAppDelegate &m_controller;
    const RunHistory &m_history;
    const Clock &m_clock;
    std::optional<RunRecord> m_pending;
};
