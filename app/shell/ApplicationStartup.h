#pragma once

// The start-up sequence of the application, in its order: the read-only
// location check, the privileged tool check, the window's initial state, the
// schedule, the exclusions, the scheduled jobs (unless a file-manager copy
// starts), the login item, the agent, the volume menus, the volume watch,
// the file-manager copy, the local notifications and the updater.
//
// What callers may rely on: run() answers false when the application must
// quit at once (read-only location, after the location alert; another
// instance runs and has been handed this start, before any other step; a
// file-manager paste without items, after its log line and the quit
// request); every other failure is shown or ignored as each step says, and
// start-up goes on.

#include "FinderCopyHandOver.h"

#include <QStringList>

#include <functional>
#include <optional>

class AlertPresenter;
class DistributedNotificationCenter;
class MFTaskAppDelegate;
class MainWindow;
class MainWindowView;
class PrivilegedRunner;
class SharedSchedule;
class VolumeWatch;

struct StartupNotice
{
    QString message;
    QString informativeText;
};

struct StartupOptions
{
    QStringList arguments; // the process arguments ("daemonLaunched")
    // The bundle prefix whose file system is checked for read-only.
    QString bundlePrefix;
    PrivilegedRunner *privilegedRunner = nullptr;
    DistributedNotificationCenter *center = nullptr; // none: "JOBTODO" is not observed
    bool launchAgent = true;
    bool watchVolumes = true;
    QString autostartEntryPath;            // the XDG autostart entry when empty
    QStringList systemAutostartFolders;    // LoginItem::systemAutostartFolders() when empty
    AlertPresenter *modalAlerts = nullptr; // the window's modal alerts when none
    // A notice to show after the tool check (root rights), if any; asked
    // with false for a file-manager copy, whose compact window is no place
    // to tell it.
    std::function<std::optional<StartupNotice>(bool canTell)> rootRightsNotice;
    // Takes the waiting file-manager copy, if any, out of the shared suite
    // (asked once per start); takeFinderCopyRequest() when unset.
    std::function<std::optional<FinderCopyRequest>()> takeFinderCopyRequest;
    // Asked once, right after the location check, unless this start is a
    // file-manager copy (those run beside the window instance): false when
    // another instance runs and has taken this start. Unset: every start
    // runs on its own.
    std::function<bool()> claimInstance;
};

class ApplicationStartup
{
public:
    ApplicationStartup(MainWindow &window, MainWindowView &view, MFTaskAppDelegate &controller,
                       SharedSchedule &schedule, StartupOptions options);
    ~ApplicationStartup();

    bool applicationDidFinishLaunching();

    // statvfs(ST_RDONLY) on the path; false when it cannot be asked.
    static bool isReadOnlyLocation(const QString &path);

    bool toggleLaunchAtLogin(bool enable);

private:
    bool locationCheck();
    AlertPresenter &modalAlerts();
    void showWindowInitialState();
    void loadSchedule();
    void startScheduledJobs(bool finderCopyLaunch);
    bool startFinderCopyIfRequested(const std::optional<FinderCopyRequest> &request);

    MainWindow &m_window;
    MainWindowView &m_view;
    MFTaskAppDelegate &m_controller;
    SharedSchedule &m_schedule;
    StartupOptions m_options;
    VolumeWatch *m_volumeWatch = nullptr;
};
