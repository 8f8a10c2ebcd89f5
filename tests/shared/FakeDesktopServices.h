#pragma once

// A notification server and a file manager on their own bus connection in
// the test process, standing in for the desktop's: they record the calls
// and let the test click a banner. Calls to them must be made without
// waiting (they are served by this thread's event loop).

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString appName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint replacesId = 0;
    };
    QList<Call> calls;
    QList<uint> closed; // CloseNotification's ids

    void click(uint id) { Q_EMIT ActionInvoked(id, QStringLiteral("default")); }
    void close(uint id) { Q_EMIT NotificationClosed(id, 2); }

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString & /*appIcon*/, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int /*expireTimeout*/)
    {
        calls.append({appName, summary, body, actions, hints, replacesId});
        return replacesId ? replacesId : uint(calls.size() + 40);
    }
    void CloseNotification(uint id) { closed.append(id); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString & /*startupId*/) { shown.append(uris); }
};
