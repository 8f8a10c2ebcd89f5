#pragma once

// The application: the in-memory schedule, the main window and its view, the
// one controller and the start-up sequence, wired together. main() and the
// window tests build it the same way.
//
// What callers may rely on: start() runs the start-up sequence and shows the
// window (answering false when the application must quit at once);
// terminate() asks the controller's quit decision and, when it agrees, calls
// the exit handler (the event loop's exit by default). With singleInstance,
// a start while another window instance runs hands itself to that one
// (start() answers false, exitStatus() 0; 1 when that one did not answer),
// and later starts reach this one through activate().

#include "ApplicationStartup.h"

#include <QObject>

#include <functional>
#include <memory>

class FolderChooser;
class JobHealthDisplay;
class MFTaskAppDelegate;
class MainWindow;
class MainWindowView;
class RunHistory;
class RunSleepGuard;
class SleepInhibitor;
class SleepWatcher;
class SharedSchedule;
class SingleInstance;
class UserNotifier;
class VolumeLister;

struct VellumorApplicationOptions
{
    FolderChooser *chooser = nullptr;      // Qt's file dialogs when none
    const VolumeLister *volumes = nullptr; // the machine's volumes when none
    UserNotifier *notifier = nullptr;      // desktop notifications when none
    std::function<void()> exit;            // leaves the event loop when none
    bool showWindow = true;
    bool singleInstance = false; // one window instance per session bus
    bool onScreen = true;        // false: started without a display
    // The scheduling panel starts closed when the window with it open would
    // reach below the screen's free area (a laptop screen at 125 %).
    bool fitToScreen = false;
    StartupOptions startup;
};

class VellumorApplication final : public QObject
{
    Q_OBJECT
public:
    explicit VellumorApplication(VellumorApplicationOptions options = {}, QObject *parent = nullptr);
    ~VellumorApplication() override;

    bool start();
    void terminate();
    // The process's exit status when start() answered false.
    int exitStatus() const { return m_exitStatus; }
    // A later start handed to this instance, with its arguments: due jobs
    // are looked for; a start by the user also brings the window to the
    // front and keeps it open after its jobs.
    void activate(const QStringList &arguments);

    MainWindow &window() { return *m_window; }
    MainWindowView &view() { return *m_view; }
    MFTaskAppDelegate &controller() { return *m_controller; }
    SharedSchedule &schedule() { return *m_schedule; }

private:
    bool claimInstance();
    void fitWindowToScreen();

    VellumorApplicationOptions m_options;
    std::unique_ptr<FolderChooser> m_ownChooser;
    std::unique_ptr<UserNotifier> m_ownNotifier;
    std::unique_ptr<SharedSchedule> m_schedule;
    std::unique_ptr<RunHistory> m_history;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MainWindowView> m_view;
    std::unique_ptr<MFTaskAppDelegate> m_controller;
    std::unique_ptr<JobHealthDisplay> m_health;
    std::unique_ptr<SleepInhibitor> m_inhibitor;
    std::unique_ptr<SleepWatcher> m_sleep;
    std::unique_ptr<RunSleepGuard> m_sleepGuard;
    std::unique_ptr<ApplicationStartup> m_startup;
    SingleInstance *m_instance = nullptr;
    int m_exitStatus = 0;
};
