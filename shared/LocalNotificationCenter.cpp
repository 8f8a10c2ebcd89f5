#include "LocalNotificationCenter.h"

LocalNotificationCenter &LocalNotificationCenter::defaultCenter()
{
    static LocalNotificationCenter center;
    return center;
}

void LocalNotificationCenter::addObserver(const QString &name, QObject *context, Handler handler)
{
    m_observers.append({name, context, std::move(handler)});
}

void LocalNotificationCenter::removeObserver(QObject *context, const QString &name)
{
    m_observers.removeIf([&](const Observer &observer) {
        return observer.context == context && (name.isEmpty() || observer.name == name);
    });
}

void LocalNotificationCenter::post(const QString &name, const QVariant &object, const QVariantMap &userInfo)
{
    m_observers.removeIf([](const Observer &observer) { return observer.context.isNull(); });
    const LocalNotification notification{name, object, userInfo};
    // A copy, so handlers may add or remove observers while we walk.
    const QList<Observer> observers = m_observers;
    for (const Observer &observer : observers) {
        if (observer.name == name && !observer.context.isNull())
            observer.handler(notification);
    }
}
