// vellumor-helper: the scheduler agent. Started at login (XDG autostart) or
// by the application, it runs for the whole session, idle between events.
#include "AppDelegate.h"
#include "RunHistory.h"
#include "BusDisconnectWatch.h"
#include "Clock.h"
#include "DetachedProgram.h"
#include "DistributedNotificationCenter.h"
#include "Identifiers.h"
#include "MainAppLauncher.h"
#include "MountWatcher.h"
#include "NoticeBoard.h"
#include "PowerSource.h"
#include "SleepWatcher.h"
#include "TerminationSignals.h"
#include "VolumePresence.h"
#include "WallClockTimer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellumor-helper"));

    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        qCritical("vellumor-helper needs the D-Bus session bus (%s)", qPrintable(session.lastError().message()));
        return 1;
    }
    // The bus name is the agent's "is it running": a second agent leaves.
    if (!session.registerService(Vellumor::HelperBundleId)) {
        qInfo("Another vellumor-helper is running in this session; leaving");
        return 0;
    }

    // Logout and systemd's stop end the event loop, so the agent leaves
    // through its normal path and exits with status 0.
    TerminationSignals quitOnSignals(TerminationSignals::InterruptedCalls::Restart);
    if (!quitOnSignals.isInstalled())
        qWarning("Cannot watch for termination signals: the agent ends without its own clean-up");
    QObject::connect(&quitOnSignals, &TerminationSignals::received, &QCoreApplication::quit);
    // Without its session bus the agent can neither hear "SCHEDULECHANGED"
    // nor tell the application of a due job: the session is over (logout).
    BusDisconnectWatch sessionWatch(session);
    QObject::connect(&sessionWatch, &BusDisconnectWatch::disconnected, &app, [] {
        qInfo("The session bus has gone; vellumor-helper leaves");
        QCoreApplication::quit();
    });
    const QDBusConnection system = QDBusConnection::systemBus();
    WallClockTimer timer;
    UPowerPowerSource power(system);
    SleepWatcher sleep(system);
    MountWatcher mounts;
    BundleMainAppLauncher launcher(session);
    const VolumePresence volumes;

    const RunHistory history(RunHistory::defaultPath());
    AgentServices services{Clock::system(), timer,    power, launcher, DistributedNotificationCenter::defaultCenter(),
                           volumes,         QString()};
    services.history = &history;
    FreedesktopNoticeBoard notices(session);
    services.notices = &notices;
    AppDelegate delegate(std::move(services));
    // A click on an overdue reminder opens the window; a running one is
    // raised by the second start.
    QObject::connect(&delegate.notices(), &AgentNotices::openJobRequested, &delegate,
                     [] { startDetachedProgram(BundleMainAppLauncher::bundleProgram(), {}); });
    delegate.applicationDidFinishLaunching(&mounts, &sleep);
    app.exec();
    return 0;
}
