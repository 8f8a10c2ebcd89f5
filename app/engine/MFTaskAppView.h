#pragma once

// The controller's whole view: the window MFTaskAppDelegate drives, split by
// role so each collaborator depends only on the part it uses:
//  - BackupRunView: idle and running states, arguments, progress controls;
//  - ScheduledJobView (with ScheduleEntryView): the schedule editor's
//    controls, written when a job is shown or saved;
//  - PromptView: alerts, notifications, folder choosers, the quit question.
// The Qt window implements all of it; windowless front ends and the tests
// start from WindowlessView.
//
// What implementations may rely on: every method is called on the main
// thread.

#include "BackupRunView.h"
#include "PromptView.h"
#include "ScheduledJobView.h"

class MFTaskAppView : public BackupRunView, public ScheduledJobView, public PromptView
{
public:
    // Declared by two roles; one implementation serves both.
    void setAddToScheduleButtonEnabled(bool enabled) override = 0;
    // The schedule editor reads the mode choice through its own name.
    int duplicateOrHardlinksSelectedRow() const override { return selectedModeRow(); }
};
