#pragma once

// Keeps the machine awake while a run is active: a logind "block" lock on
// sleep and idle for every run, and for a scheduled run a "delay" lock as
// well, so that a sleep that comes anyway (a closed lid) first stops the
// copy cleanly (as the Stop button does: the working folder stays for the
// next run) and only then lets the machine go.
//
// What callers may rely on: every lock is released when the run finishes;
// a sleep while no delay lock is held stops nothing.

#include <QObject>
#include <QString>

#include <functional>

class MFTaskAppDelegate;
class SleepInhibitor;
class SleepWatcher;

class RunSleepGuard final : public QObject
{
    Q_OBJECT
public:
    // `stopRun` ends the active run the way the Stop button does.
    RunSleepGuard(SleepInhibitor &inhibitor, SleepWatcher *sleep, std::function<void()> stopRun,
                  QObject *parent = nullptr);

    // Follows the controller's runs: "Backing up Pictures to Backup Disk".
    static void guardRunsOf(MFTaskAppDelegate &controller, RunSleepGuard &guard);

    void runStarted(const QString &why, bool scheduled);
    void runFinished();

private:
    void goingToSleep();

    SleepInhibitor &m_inhibitor;
    std::function<void()> m_stopRun;
    bool m_running = false;
    bool m_delaying = false;
};
