#pragma once

// The one interface through which the controller MFTaskAppDelegate reaches
// its window. The Qt window, the terminal front end and the tests' recording
// fake implement it.
//
// What implementations may rely on: every method is called on the main
// thread. What the controller relies on: setters take effect at once (the
// start button's title read back is the last one set), and
// showAlert/askToQuitDuringBackup return without waiting for the user.

#include "MFTask.h"
#include "ProgressControls.h"
#include "ScheduledJobView.h"

#include <QList>
#include <QString>

// The schedule controls (weekdays, time, snapshot count, pickers, volume
// menus) come from ScheduledJobView, which saving and loading a job use.
class MFTaskAppView : public ScheduledJobView
{
public:
    // The start button: "Backup" when idle, "Stop" while a run is active
    // (read through ScheduledJobView::startButtonTitle()).
    virtual void setStartButtonTitle(const QString &title) = 0;
    // The mode choice `duplicateOrHardlinks`: 0 Sync, 1 Snapshot.
    virtual int selectedModeRow() const = 0;
    int duplicateOrHardlinksSelectedRow() const final { return selectedModeRow(); }

    virtual void setSourceButtonEnabled(bool enabled) = 0;
    virtual void setDestButtonEnabled(bool enabled) = 0;
    virtual void setOptionsButtonEnabled(bool enabled) = 0;
    virtual void setHelpButtonVisible(bool visible) = 0;
    virtual void setModeChoiceVisible(bool visible) = 0;
    virtual void setDisplayTextVisible(bool visible) = 0;
    virtual void setProgressBarVisible(bool visible) = 0;
    virtual void startProgressAnimation() = 0;

    // The copy program's arguments, one row each.
    virtual void setArgumentRows(const QList<Argument> &rows) = 0;
    // The link destination label (a snapshot folder's name, or " ").
    virtual void setLinkDestText(const QString &text) = 0;

    // A sheet on the main window with one "OK" button and no follow-up.
    virtual void showAlert(const QString &message, const QString &informativeText) = 0;
    // A desktop notification banner.
    virtual void deliverUserNotification(const QString &title, const QString &text) = 0;
    // A folder chooser; an empty answer means the user cancelled.
    virtual QString chooseFolder(bool isSource, const QString &prompt, const QString &message) = 0;
    // The quit question ("Quit" first, "Cancel"); the answer comes back
    // through MFTaskAppDelegate::quitOrCancel().
    virtual void askToQuitDuringBackup(const QString &message, const QString &informativeText) = 0;
    // Ends the application's event loop.
    virtual void terminateApplication() = 0;

    // The controls the output reader writes; the view owns them and keeps
    // them alive as long as the controller. animatingView may be null.
    virtual ProgressIndicator *progressBar() = 0;
    virtual TextField *jobState() = 0;
    virtual TextField *displayText() = 0;
    virtual TransferAnimationView *animatingView() = 0;
    virtual AlertPresenter *alertPresenter() = 0;
};
