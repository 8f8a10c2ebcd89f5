#pragma once

// Tells when a bus connection has been lost: the bus daemon ended (the
// session bus goes at logout) or closed the connection.
//
// What callers may rely on: disconnected() is emitted once, from the event
// loop, after the connection given was lost; a connection that is not
// connected to begin with is reported at the first turn of the event loop.

#include <QDBusConnection>
#include <QObject>

class OrgFreedesktopDBusLocalInterface;

class BusDisconnectWatch final : public QObject
{
    Q_OBJECT
public:
    explicit BusDisconnectWatch(const QDBusConnection &bus, QObject *parent = nullptr);

Q_SIGNALS:
    void disconnected();

private:
    void report();

    OrgFreedesktopDBusLocalInterface *m_local = nullptr;
    bool m_reported = false;
};
