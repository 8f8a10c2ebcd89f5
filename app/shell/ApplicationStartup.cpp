#include "ApplicationStartup.h"

#include "BundleLocation.h"
#include "CheckAndSetAuthorization.h"
#include "FinderCopyLaunch.h"
#include "LoginItem.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "MainWindowView.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "SupportFolder.h"
#include "Updater.h"
#include "VolumeWatch.h"

#include <QDBusConnection>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <sys/statvfs.h>

ApplicationStartup::ApplicationStartup(MainWindow &window, MainWindowView &view, MFTaskAppDelegate &controller,
                                       SharedSchedule &schedule, StartupOptions options)
    : m_window(window)
    , m_view(view)
    , m_controller(controller)
    , m_schedule(schedule)
    , m_options(std::move(options))
{
    if (m_options.bundlePrefix.isEmpty())
        m_options.bundlePrefix = vellumorPrefix();
    if (m_options.autostartEntryPath.isEmpty())
        m_options.autostartEntryPath = LoginItem::autostartEntryPath();
    if (m_options.systemAutostartFolders.isEmpty())
        m_options.systemAutostartFolders = LoginItem::systemAutostartFolders();
    if (!m_options.takeFinderCopyRequest)
        m_options.takeFinderCopyRequest = &::takeFinderCopyRequest;
}

ApplicationStartup::~ApplicationStartup() = default;

bool ApplicationStartup::isReadOnlyLocation(const QString &path)
{
    struct statvfs info = {};
    if (::statvfs(path.toLocal8Bit().constData(), &info) != 0)
        return false;
    return (info.f_flag & ST_RDONLY) != 0;
}

bool ApplicationStartup::applicationDidFinishLaunching()
{
    if (!locationCheck())
        return false;
    // Taken here, before the scheduled jobs, and only once: of several
    // processes starting together exactly one gets the copy, and it runs
    // no scheduled job. Any other start is the window instance's, or is
    // handed to the one that runs, before it asks for rights or runs a job.
    const std::optional<FinderCopyRequest> finderCopy = m_options.takeFinderCopyRequest();
    if (!finderCopy && m_options.claimInstance && !m_options.claimInstance())
        return false;
    CheckAndSetAuthorization::checkSetAuth(m_options.privilegedRunner);
    if (m_options.rootRightsNotice) {
        if (const std::optional<StartupNotice> notice = m_options.rootRightsNotice(!finderCopy.has_value()))
            m_view.showAlert(notice->message, notice->informativeText);
    }
    showWindowInitialState();
    loadSchedule();
    m_controller.excludedFiles = QStringList();
    m_view.setDelegateExcludedFiles(m_controller.excludedFiles);
    startScheduledJobs(finderCopy.has_value());
    toggleLaunchAtLogin(true);
    if (m_options.launchAgent)
        LoginItem::launchAgentIfNotRunning(QDBusConnection::sessionBus(), LoginItem::agentExecutablePath());
    m_view.repopulateMountedVolumesMenu(false);
    m_view.repopulateMountedVolumesMenu_Dest(false);
    if (m_options.watchVolumes) {
        m_volumeWatch = new VolumeWatch(QStringLiteral("/proc/self/mountinfo"), &m_window);
        QObject::connect(m_volumeWatch, &VolumeWatch::volumesChanged, &m_window,
                         [this] { m_view.reloadScheduleTable(); });
    }
    if (!startFinderCopyIfRequested(finderCopy))
        return false;
    // "scheduledBackupsDidChange" and "BackupComplete" are observed by the
    // controller from its creation on: once each, so one post saves once.
    Updater &updater = Updater::sharedUpdater();
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setAutomaticallyDownloadsUpdates(false);
    updater.checkForUpdatesInBackground();
    return true;
}

AlertPresenter &ApplicationStartup::modalAlerts()
{
    return m_options.modalAlerts ? *m_options.modalAlerts : *m_view.alertPresenter();
}

bool ApplicationStartup::locationCheck()
{
    if (!isReadOnlyLocation(m_options.bundlePrefix))
        return true;
    modalAlerts().runModalAlert(
        QStringLiteral("Move me to the Applications folder"),
        QStringLiteral("Please drag and drop this program to the Applications folder then launch it from there.\n"
                       "This is a temporary restriction and we are searching for a better way to solve this "
                       "issue.\n"
                       "If you would like to know more it is related to \"Gatekeeper Path Randomization\"."),
        QStringLiteral("OK"));
    return false;
}

void ApplicationStartup::showWindowInitialState()
{
    m_controller.backupSources = QStringList();
    m_controller.userSelectedShouldTerminate = false;
    QImage arrow(vellumorPrefix() + QStringLiteral("/share/vellumor/arrow_blue.png"));
    // In a right-to-left layout the source sits on the right: the arrow turns.
    if (m_window.layoutDirection() == Qt::RightToLeft)
        arrow = arrow.mirrored(true, false);
    m_window.outlets().arrow->setPixmap(QPixmap::fromImage(arrow));
}

void ApplicationStartup::loadSchedule()
{
    m_schedule.loadFromFileIfEmpty();
    qInfo("support folder: %s", qPrintable(getApplicationSupportFolder()));
    m_view.reloadScheduleTable();
}

void ApplicationStartup::startScheduledJobs(bool finderCopyLaunch)
{
    ScheduledJobDispatcher *dispatcher = m_controller.dispatcher();
    if (finderCopyLaunch || !dispatcher)
        return;
    dispatcher->applicationDidFinishLaunching(m_options.arguments, m_options.center);
}

bool ApplicationStartup::startFinderCopyIfRequested(const std::optional<FinderCopyRequest> &request)
{
    // A paste without items has asked to quit: no window is shown for it.
    return !request || startFinderCopy(*request, m_controller, m_window, m_view);
}

bool ApplicationStartup::toggleLaunchAtLogin(bool)
{
    // The argument is ignored: the agent is enabled at every start. An
    // installed package starts it for every user; then an entry of this
    // user's that an earlier version wrote would only outlive the package.
    const QString agent = LoginItem::agentExecutablePath();
    if (LoginItem::hasSystemEntry(m_options.systemAutostartFolders, agent)) {
        if (LoginItem::removeWrittenEntry(m_options.autostartEntryPath))
            qInfo("removed %s: the system's autostart entry starts the agent",
                  qPrintable(m_options.autostartEntryPath));
        return true;
    }
    QString error;
    if (LoginItem::writeAutostartEntry(m_options.autostartEntryPath, agent, &error))
        return true;
    qWarning("autostart entry not written: %s", qPrintable(error));
    modalAlerts().runModalAlert(QStringLiteral("An error ocurred"),
                                QStringLiteral("Couldn't add Helper App to launch at login item list."),
                                QStringLiteral("OK"));
    return false;
}
