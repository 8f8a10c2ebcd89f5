#pragma once

// What the controller is doing, as one value: the window draws its controls
// from it and the start button's title follows it. Preparing covers the
// checks, the rotation before a Snapshot and the argument list; Finishing the
// time between the copy's end and the run's completion (naming and rotating a
// snapshot); Stopping a stop that has been asked for and not yet reached the
// end of the run.

#include <QObject>
#include <QString>

namespace RunStates {
Q_NAMESPACE

enum class RunState { Idle, Preparing, DryRun, Copying, Finishing, Stopping };
Q_ENUM_NS(RunState)

// The title of the start button in `state`: "Backup" while idle, "Stop" while
// a run is in progress.
inline QString startButtonTitle(RunState state)
{
    return state == RunState::Idle ? QStringLiteral("Backup") : QStringLiteral("Stop");
}

} // namespace RunStates

using RunState = RunStates::RunState;
