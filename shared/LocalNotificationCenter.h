#pragma once

// A process-local notification center keyed by notification names such as
// "BackupComplete" and "scheduledBackupsDidChange". post() calls every
// observer of that name synchronously, on the posting thread, in the order
// they were added. An observer goes away with its context object.
// Use it from the main thread only.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>

struct LocalNotification
{
    QString name;
    QVariant object;
    QVariantMap userInfo;
};

class LocalNotificationCenter
{
public:
    using Handler = std::function<void(const LocalNotification &)>;

    static LocalNotificationCenter &defaultCenter();

    void addObserver(const QString &name, QObject *context, Handler handler);
    void removeObserver(QObject *context, const QString &name = QString());
    void post(const QString &name, const QVariant &object = QVariant(), const QVariantMap &userInfo = {});

private:
    struct Observer
    {
        QString name;
        QPointer<QObject> context;
        Handler handler;
    };
    QList<Observer> m_observers;
};
