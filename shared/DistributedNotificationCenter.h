#pragma once

// Distributed notifications between Vellumor's processes over the D-Bus
// session bus: "JOBTODO", "SCHEDULECHANGED" and "VolumesChanged", each a
// signal of the notifications interface with the object string as its one
// argument.
//
// What callers may rely on:
//  - postNotification() sends the signal to every process on the bus (this
//    one included); names other than the three above are refused with a
//    warning;
//  - an observer is called on the thread the center lives in (the main
//    thread), from its event loop, only for its name and, unless it gave an
//    empty object, only for its object string; signals from any sender count;
//  - an observer goes away with its context object;
//  - without a session bus, posts are dropped and observers never fire; a
//    warning says so once.
// One center per bus connection (it exports the notifications path there):
// use defaultCenter(), first touched on the main thread once the application
// object exists; it lives as long as that object.

#include "NotificationPoster.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class DistributedNotificationEmitter;
class OrgVellumorVellumorNotificationsInterface;

class DistributedNotificationCenter : public QObject, public NotificationPoster
{
    Q_OBJECT
public:
    using Handler = std::function<void(const QString &name, const QString &object)>;

    explicit DistributedNotificationCenter(const QDBusConnection &connection, QObject *parent = nullptr);
    ~DistributedNotificationCenter() override;

    // The process's center on the session bus.
    static DistributedNotificationCenter &defaultCenter();

    bool isConnected() const;
    QDBusConnection connection() const { return m_connection; }

    void postNotification(const QString &name, const QString &object) override;

    void addObserver(const QString &name, const QString &object, QObject *context, Handler handler);
    void removeObserver(QObject *context);

private:
    void deliver(const QString &name, const QString &object);
    void warnOnceIfDisconnected() const;

    struct Observer
    {
        QString name;
        QString object;
        QPointer<QObject> context;
        Handler handler;
    };

    QDBusConnection m_connection;
    DistributedNotificationEmitter *m_emitter = nullptr;
    OrgVellumorVellumorNotificationsInterface *m_receiver = nullptr;
    QList<Observer> m_observers;
    bool m_exported = false;
    mutable bool m_warned = false;
};
