#pragma once

// Tells when the machine is about to sleep and when it has woken: systemd-
// logind's PrepareForSleep(true) and PrepareForSleep(false) on the system
// bus. Without logind nothing is emitted, ever.

#include <QDBusConnection>
#include <QObject>

class OrgFreedesktopLogin1ManagerInterface;

class SleepWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SleepWatcher(const QDBusConnection &systemBus, QObject *parent = nullptr);

Q_SIGNALS:
    void goingToSleep();
    void woke();

private:
    OrgFreedesktopLogin1ManagerInterface *m_manager = nullptr;
};
