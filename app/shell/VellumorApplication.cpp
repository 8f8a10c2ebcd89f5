#include "VellumorApplication.h"

#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "FolderChooser.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "MainWindowView.h"
#include "RKAnimatingView.h"
#include "SharedSchedule.h"
#include "SupportFolder.h"
#include "UserNotifications.h"
#include "VolumeMenus.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

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
    services.notifier = m_options.notifier;
    services.privilegedRunner = m_options.startup.privilegedRunner;
    m_controller = std::make_unique<MFTaskAppDelegate>(m_view.get(), services);
    m_view->attach(*m_controller);
    m_view->onTerminate = [this] { terminate(); };
    if (!m_options.startup.center && center.isConnected())
        m_options.startup.center = &center;
    m_startup = std::make_unique<ApplicationStartup>(*m_window, *m_view, *m_controller, *m_schedule, m_options.startup);
}

VellumorApplication::~VellumorApplication()
{
    // The controller stops a run in progress before the window goes.
    m_controller.reset();
}

bool VellumorApplication::start()
{
    if (!m_startup->applicationDidFinishLaunching())
        return false;
    if (m_options.showWindow)
        m_window->show();
    return true;
}

void VellumorApplication::terminate()
{
    if (m_controller->applicationShouldTerminate())
        m_options.exit();
}
