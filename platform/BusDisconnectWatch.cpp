#include "BusDisconnectWatch.h"

#include "LocalInterface.h"

#include <QTimer>

BusDisconnectWatch::BusDisconnectWatch(const QDBusConnection &bus, QObject *parent) : QObject(parent)
{
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, &BusDisconnectWatch::report);
        return;
    }
    // libdbus hands its own "Disconnected" to the connection's signal
    // receivers when the bus goes; Qt keeps the process running otherwise.
    m_local = new OrgFreedesktopDBusLocalInterface(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), bus, this);
    connect(m_local, &OrgFreedesktopDBusLocalInterface::Disconnected, this, &BusDisconnectWatch::report);
}

void BusDisconnectWatch::report()
{
    if (m_reported)
        return;
    m_reported = true;
    Q_EMIT disconnected();
}
