#pragma once

// The software updater: automatic checks on, automatic downloads off, one
// background check at start-up. The check reads an update feed only when one
// is configured ("SUFeedURL" in the shared defaults suite); none is by
// default, so nothing leaves the machine.

#include <QObject>
#include <QUrl>

class Updater final : public QObject
{
    Q_OBJECT
public:
    static Updater &sharedUpdater();

    bool automaticallyChecksForUpdates() const { return m_automaticallyChecks; }
    void setAutomaticallyChecksForUpdates(bool on) { m_automaticallyChecks = on; }
    bool automaticallyDownloadsUpdates() const { return m_automaticallyDownloads; }
    void setAutomaticallyDownloadsUpdates(bool on) { m_automaticallyDownloads = on; }

    QUrl feedUrl() const;
    // Returns whether a check was started (false without a feed).
    bool checkForUpdatesInBackground();

private:
    bool m_automaticallyChecks = false;
    bool m_automaticallyDownloads = false;
};
