#pragma once

// The run view: the part of the main window one backup run drives. The
// controller moves it between idle (controls enabled) and running (pickers
// disabled, progress shown), shows the copy program's
// arguments and link destination, and hands the progress controls to the
// output reader, which alone writes them during a run.
//
// What implementations may rely on: every method is called on the main
// thread. What the controller relies on: setters take effect at once, and the
// controls returned below live as long as the view. The controller never reads
// a control to learn what a run is doing: its run state says.

#include "MFTask.h"
#include "ProgressControls.h"

#include <QList>
#include <QString>

class BackupRunView
{
public:
    virtual ~BackupRunView() = default;

    // The start button's title, as the run state's title table gives it.
    virtual void setStartButtonTitle(const QString &title) = 0;
    // The mode choice `duplicateOrHardlinks`: 0 Sync, 1 Snapshot.
    virtual int selectedModeRow() const = 0;

    // Disabled while a run is active.
    virtual void setSourceButtonEnabled(bool enabled) = 0;
    virtual void setDestButtonEnabled(bool enabled) = 0;
    virtual void setAddToScheduleButtonEnabled(bool enabled) = 0;
    virtual void setOptionsButtonEnabled(bool enabled) = 0;
    // Shown while idle, hidden while a run is active.
    virtual void setHelpButtonVisible(bool visible) = 0;
    virtual void setModeChoiceVisible(bool visible) = 0;
    // Shown while a run is active.
    virtual void setDisplayTextVisible(bool visible) = 0;
    virtual void setProgressBarVisible(bool visible) = 0;
    virtual void startProgressAnimation() = 0;

    // The copy program's arguments, one row each.
    virtual void setArgumentRows(const QList<Argument> &rows) = 0;
    // The link destination label (a snapshot folder's name, or " ").
    virtual void setLinkDestText(const QString &text) = 0;

    // The controls the output reader writes (MFTaskDelegate); the view owns
    // them. animatingView may be null.
    virtual ProgressIndicator *progressBar() = 0;
    virtual TextField *jobState() = 0;
    virtual TextField *displayText() = 0;
    virtual TransferAnimationView *animatingView() = 0;
};
