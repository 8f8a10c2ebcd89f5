#pragma once

// Starting the main application for due jobs.
//
// What callers may rely on:
//  - isMainAppRunning() is true while the application holds its name on
//    the session bus, and also while an instance this launcher started is
//    still alive: an application that has not yet claimed its name (it is
//    still starting) is never started a second time;
//  - launch() starts the program detached with the one argument
//    "daemonLaunched" and answers whether it could be started; when the
//    session has no display it runs on Qt's offscreen platform, so
//    scheduled jobs still run and the application still quits when done.

#include <QDBusConnection>
#include <QProcessEnvironment>
#include <QString>

class MainAppLauncher
{
public:
    virtual ~MainAppLauncher() = default;
    virtual bool isMainAppRunning() = 0;
    virtual bool launch() = 0;
};

class BundleMainAppLauncher final : public MainAppLauncher
{
public:
    // The bundle's PREFIX/bin/vellumor.
    static QString bundleProgram();
    // The environment to start the application in, from the agent's own.
    static QProcessEnvironment launchEnvironment(const QProcessEnvironment &agentEnvironment);

    BundleMainAppLauncher(const QDBusConnection &sessionBus, QString program = bundleProgram());

    bool isMainAppRunning() override;
    bool launch() override;

    QString program() const { return m_program; }

private:
    bool startedInstanceIsAlive() const;

    QDBusConnection m_bus;
    QString m_program;
    qint64 m_startedPid = 0;
};
