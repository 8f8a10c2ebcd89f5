#include "VellumorApplication.h"

#include "DisclosureLayouts.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "FolderChooser.h"
#include "JobHealthDisplay.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "MainWindowView.h"
#include "RKAnimatingView.h"
#include "RunHistory.h"
#include "RunSleepGuard.h"
#include "ScheduledJobDispatcher.h"
#include "SharedSchedule.h"
#include "SingleInstance.h"
#include "SleepInhibitor.h"
#include "SleepWatcher.h"
#include "TableViewVariableRowHeightsAppDelegate.h"
#include "SupportFolder.h"
#include "UserNotifications.h"
#include "VolumeMenus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLayout>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>

VellumorApplication::VellumorApplication(VellumorApplicationOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (!m_options.chooser) {
        m_ownChooser = std::make_unique<FileDialogChooser>();
        m_options.chooser = m_ownChooser.get();
    }
    if (!m_options.volumes)
        m_options.volumes = &VolumeLister::system();
    if (!m_options.notifier) {
        auto desktop = std::make_unique<FreedesktopNotifier>();
        // Without a file manager on the bus a click opens the folder itself.
        desktop->setRevealFallback([](const QString &path) {
            const QFileInfo info(path);
            QDesktopServices::openUrl(QUrl::fromLocalFile(info.isDir() ? path : info.absolutePath()));
        });
        m_ownNotifier = std::move(desktop);
        m_options.notifier = m_ownNotifier.get();
    }
    if (!m_options.exit)
        m_options.exit = [] { QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); }); };

    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    m_schedule = std::make_unique<SharedSchedule>(ScheduleFile(scheduleFilePath(), Clock::system()), center);
    m_window = std::make_unique<MainWindow>();
    m_view = std::make_unique<MainWindowView>(*m_window, *m_schedule, *m_options.chooser, *m_options.volumes);
    // The strip of files in flight fills the transfer area (the window owns it).
    auto *strip = new RKAnimatingView;
    m_window->setTransferView(strip);
    m_view->setAnimatingView(strip);
    MFTaskAppServices services;
    services.schedule = m_schedule.get();
    m_history = std::make_unique<RunHistory>(RunHistory::defaultPath());
    services.runHistory = m_history.get();
    services.notifier = m_options.notifier;
    services.privilegedRunner = m_options.startup.privilegedRunner;
    m_controller = std::make_unique<MFTaskAppDelegate>(m_view.get(), services);
    m_view->attach(*m_controller);
    m_health = std::make_unique<JobHealthDisplay>(*m_window->outlets().jobHealth, *m_controller, *m_schedule,
                                                  *m_history, Clock::system(), m_view->tableViewDelegate()->model());
    // The machine stays awake while a run is active.
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    m_inhibitor = std::make_unique<SleepInhibitor>(systemBus);
    m_sleep = std::make_unique<SleepWatcher>(systemBus);
    m_sleepGuard = std::make_unique<RunSleepGuard>(*m_inhibitor, m_sleep.get(), [this] { m_controller->stop(); });
    RunSleepGuard::guardRunsOf(*m_controller, *m_sleepGuard);
    m_view->onTerminate = [this] { terminate(); };
    m_view->setAlertsCanBeRead(m_options.onScreen);
    if (!m_options.startup.center && center.isConnected())
        m_options.startup.center = &center;
    if (m_options.singleInstance)
        m_options.startup.claimInstance = [this] { return claimInstance(); };
    m_startup = std::make_unique<ApplicationStartup>(*m_window, *m_view, *m_controller, *m_schedule, m_options.startup);
}

VellumorApplication::~VellumorApplication()
{
    // The controller stops a run in progress before the window goes.
    m_health.reset();
    m_sleepGuard.reset();
    m_controller.reset();
}

bool VellumorApplication::start()
{
    if (!m_startup->applicationDidFinishLaunching())
        return false;
    if (m_options.showWindow) {
        if (m_options.fitToScreen)
            fitWindowToScreen();
        m_window->show();
    }
    return true;
}

void VellumorApplication::fitWindowToScreen()
{
    const QScreen *screen = m_window->screen();
    DisclosureLayouts *disclosure = m_window->outlets().disclosure;
    if (!screen || !disclosure || !disclosure->isOpen() || m_controller->isFinderCopy)
        return;
    // The window's frame (title bar) is not known before it is shown; the
    // margin stands for it.
    constexpr int frameMargin = 48;
    const int freeHeight = screen->availableGeometry().height() - frameMargin;
    if (m_window->minimumSizeHint().height() <= freeHeight)
        return;
    disclosure->disclosureTriangleClicked_actuallyTheTextWasClicked();
    // The closed layout's smaller minimum applies only once laid out again.
    if (QLayout *content = m_window->centralWidget()->layout())
        content->activate();
    m_window->layout()->activate();
    m_window->resize(m_window->width(), std::min(m_window->height(), freeHeight));
}

void VellumorApplication::terminate()
{
    if (m_controller->applicationShouldTerminate())
        m_options.exit();
}

bool VellumorApplication::claimInstance()
{
    m_instance = new SingleInstance(QDBusConnection::sessionBus(), this);
    connect(m_instance, &SingleInstance::activated, this, &VellumorApplication::activate);
    switch (m_instance->claim(m_options.startup.arguments.mid(1))) {
    case SingleInstance::Claim::First:
    case SingleInstance::Claim::NoBus:
        return true;
    case SingleInstance::Claim::HandedOver:
        qInfo("Vellumor is already running: this start was handed to it");
        m_exitStatus = 0;
        return false;
    case SingleInstance::Claim::Unanswered:
        break;
    }
    // Running beside it could run the same due job twice.
    qWarning("Vellumor is already running but did not take this start (%s); this start ends",
             qPrintable(m_instance->failure()));
    m_exitStatus = 1;
    return false;
}

void VellumorApplication::activate(const QStringList &arguments)
{
    ScheduledJobDispatcher *dispatcher = m_controller->dispatcher();
    if (!arguments.contains(ScheduledJobDispatcher::daemonLaunchedArgument())) {
        // The user opened the application: it stays open after its jobs.
        if (dispatcher)
            dispatcher->setQuitWhenAllDone(false);
        m_window->show();
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
        m_window->raise();
        m_window->activateWindow();
        qInfo("another start of Vellumor: its window is raised");
    }
    // A start looks for due jobs; while a run is in progress they wait for
    // its end, as on "JOBTODO".
    if (dispatcher)
        dispatcher->newJobNotificationFromHelperApp();
}
