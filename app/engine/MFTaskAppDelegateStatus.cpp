// The status line between runs: cleared when the job on screen changes, and
// "Stopped." after a stop. The rest of the controller is in
// MFTaskAppDelegate.cpp.
#include "MFTaskAppDelegate.h"

void MFTaskAppDelegate::jobOnScreenChanged()
{
    // A finished run's text ("Backup Complete.") belongs to its own job.
    if (!isRunning())
        m_window.showStatus(QString());
    Q_EMIT jobChanged();
}

void MFTaskAppDelegate::showStopped()
{
    // Queued behind the reader's own reset, which clears the status line.
    postToMain([this, runId = quint64(m_runId)] {
        if (m_runId == runId && !isRunning())
            m_window.showStatus(QStringLiteral("Stopped."));
    });
}
