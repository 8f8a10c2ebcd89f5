#include "Updater.h"

#include "SharedDefaults.h"

Updater &Updater::sharedUpdater()
{
    static Updater updater;
    return updater;
}

QUrl Updater::feedUrl() const
{
    return QUrl(getUserDefaults()->value(QStringLiteral("SUFeedURL")).toString());
}

bool Updater::checkForUpdatesInBackground()
{
    const QUrl feed = feedUrl();
    if (!m_automaticallyChecks || !feed.isValid() || feed.isEmpty())
        return false;
    // A configured feed is only noted: fetching and installing releases is
    // the distribution's package manager's job on this platform.
    qInfo("update feed configured: %s", qPrintable(feed.toString()));
    return true;
}
