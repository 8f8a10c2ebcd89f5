#include "DistributedNotificationCenter.h"

#include "DistributedNotificationEmitter.h"
#include "Identifiers.h"
#include "NotificationsAdaptor.h"
#include "NotificationsInterface.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QPointer>

DistributedNotificationCenter::DistributedNotificationCenter(const QDBusConnection &connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{
    if (!m_connection.isConnected())
        return;

    m_emitter = new DistributedNotificationEmitter(this);
    new NotificationsAdaptor(m_emitter); // owned by the emitter; relays its signals to the bus
    m_exported
        = m_connection.registerObject(Vellumor::NotificationsObjectPath, m_emitter, QDBusConnection::ExportAdaptors);
    if (!m_exported)
        qWarning("Cannot export the notifications object on D-Bus: %s", qPrintable(m_connection.lastError().message()));

    // An empty service name matches signals from every sender: notifications
    // come from the application, the agent and the extension alike.
    m_receiver = new OrgVellumorVellumorNotificationsInterface(QString(), Vellumor::NotificationsObjectPath,
                                                               m_connection, this);
    connect(m_receiver, &OrgVellumorVellumorNotificationsInterface::JOBTODO, this,
            [this](const QString &object) { deliver(Vellumor::JobToDoNotification, object); });
    connect(m_receiver, &OrgVellumorVellumorNotificationsInterface::SCHEDULECHANGED, this,
            [this](const QString &object) { deliver(Vellumor::ScheduleChangedNotification, object); });
    connect(m_receiver, &OrgVellumorVellumorNotificationsInterface::VolumesChanged, this,
            [this](const QString &object) { deliver(Vellumor::VolumesChangedNotification, object); });
    // The match rules above are sent without waiting; one round trip makes
    // sure the bus has them before anyone is told that we are listening.
    m_connection.interface()->isServiceRegistered(Vellumor::MainAppBundleId);
}

DistributedNotificationCenter::~DistributedNotificationCenter()
{
    if (m_exported)
        m_connection.unregisterObject(Vellumor::NotificationsObjectPath);
}

DistributedNotificationCenter &DistributedNotificationCenter::defaultCenter()
{
    // Owned by the application object: it leaves the bus and goes with the
    // application, before the bus connection is torn down at exit.
    static QPointer<DistributedNotificationCenter> center;
    if (!center)
        center = new DistributedNotificationCenter(QDBusConnection::sessionBus(), QCoreApplication::instance());
    return *center;
}

bool DistributedNotificationCenter::isConnected() const
{
    return m_connection.isConnected() && m_exported;
}

void DistributedNotificationCenter::warnOnceIfDisconnected() const
{
    if (m_warned)
        return;
    m_warned = true;
    qWarning("No D-Bus session bus: notifications between Vellumor's processes are not delivered");
}

void DistributedNotificationCenter::postNotification(const QString &name, const QString &object)
{
    if (!isConnected()) {
        warnOnceIfDisconnected();
        return;
    }
    if (name == Vellumor::JobToDoNotification)
        Q_EMIT m_emitter->JOBTODO(object);
    else if (name == Vellumor::ScheduleChangedNotification)
        Q_EMIT m_emitter->SCHEDULECHANGED(object);
    else if (name == Vellumor::VolumesChangedNotification)
        Q_EMIT m_emitter->VolumesChanged(object);
    else
        qWarning("Not a Vellumor notification, not posted: %s", qPrintable(name));
}

void DistributedNotificationCenter::addObserver(const QString &name, const QString &object, QObject *context,
                                                Handler handler)
{
    if (!m_connection.isConnected())
        warnOnceIfDisconnected();
    m_observers.append({name, object, context, std::move(handler)});
}

void DistributedNotificationCenter::removeObserver(QObject *context)
{
    m_observers.removeIf([context](const Observer &observer) { return observer.context == context; });
}

void DistributedNotificationCenter::deliver(const QString &name, const QString &object)
{
    m_observers.removeIf([](const Observer &observer) { return observer.context.isNull(); });
    // A copy, so handlers may add or remove observers while we walk.
    const QList<Observer> observers = m_observers;
    for (const Observer &observer : observers) {
        if (observer.context.isNull() || observer.name != name)
            continue;
        if (!observer.object.isEmpty() && observer.object != object)
            continue;
        observer.handler(name, object);
    }
}
