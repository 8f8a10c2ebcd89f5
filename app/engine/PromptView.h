#pragma once

// Alerts and choosers: what the controller asks of the user or tells them
// outside the run view, and the end of the application.
//
// What implementations may rely on: every method is called on the main
// thread. What the controller relies on: showAlert and askToQuitDuringBackup
// return without waiting for the user; chooseFolder returns the answer.

#include "ProgressControls.h"

#include <QString>

#include <functional>

struct RoomOffer;

class PromptView
{
public:
    virtual ~PromptView() = default;

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
    // Ends it once the user has dismissed the alerts on screen (the reason
    // a file-manager copy ends without copying), at once when none is open
    // or nobody can read them.
    virtual void terminateAfterAlerts() { terminateApplication(); }
    // The modal alert the output reader raises (a full destination).
    virtual AlertPresenter *alertPresenter() = 0;
    // A backup refused for space could start after old snapshots its rule
    // gives up anyway are removed: asks whether to remove them (without
    // waiting) and calls `accepted` only on the user's yes. A front end that
    // cannot ask says how to free the room instead; by default it shows
    // the refusal as an alert.
    virtual void offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted);
};
