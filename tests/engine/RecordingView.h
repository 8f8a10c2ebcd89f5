#pragma once

// The controller tests' view: the windowless view, which records what the
// controller shows, plus a way back to a fresh, idle window.
#include "WindowlessView.h"

class RecordingView : public WindowlessView
{
public:
    void reset()
    {
        title = QStringLiteral("Backup");
        modeRow = 0;
        chooserAnswers.clear();
        alerts.clear();
        notifications.clear();
        rows.clear();
        statusTexts.clear();
        linkDestText.clear();
        terminateRequests = quitQuestions = 0;
    }
};
