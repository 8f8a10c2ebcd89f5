#include "SleepWatcher.h"

#include "Login1ManagerInterface.h"

SleepWatcher::SleepWatcher(const QDBusConnection &systemBus, QObject *parent) : QObject(parent)
{
    m_manager = new OrgFreedesktopLogin1ManagerInterface(QStringLiteral("org.freedesktop.login1"),
                                                         QStringLiteral("/org/freedesktop/login1"), systemBus, this);
    connect(m_manager, &OrgFreedesktopLogin1ManagerInterface::PrepareForSleep, this, [this](bool start) {
        if (start)
            Q_EMIT goingToSleep();
        else
            Q_EMIT woke();
    });
}
