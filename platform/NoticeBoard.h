#pragma once

// Lasting desktop notices that a program keeps up to date by name: shown,
// replaced by a newer text under the same name, withdrawn, and clicked.
//
// What callers may rely on: show() and withdraw() never block; without a
// notification service they do nothing; a notice clicked on (its "default"
// action) is reported once through activated() with its name.

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class OrgFreedesktopNotificationsInterface;

class NoticeBoard : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Shows the notice `key`, replacing the one shown under that key; with
    // `actionLabel`, a click on it is reported.
    virtual void show(const QString &key, const QString &title, const QString &text,
                      const QString &actionLabel = QString())
        = 0;
    virtual void withdraw(const QString &key) = 0;

Q_SIGNALS:
    void activated(const QString &key);
};

// org.freedesktop.Notifications: Notify (with the earlier id as replaces_id),
// CloseNotification and ActionInvoked.
class FreedesktopNoticeBoard final : public NoticeBoard
{
    Q_OBJECT
public:
    explicit FreedesktopNoticeBoard(const QDBusConnection &connection = QDBusConnection::sessionBus(),
                                    QObject *parent = nullptr);

    void show(const QString &key, const QString &title, const QString &text,
              const QString &actionLabel = QString()) override;
    void withdraw(const QString &key) override;

private:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_connection;
    OrgFreedesktopNotificationsInterface *m_service = nullptr;
    struct Notice
    {
        QString title;
        QString text;
        QString actionLabel;
    };
    QHash<QString, uint> m_ids;      // the server's id of each shown notice
    QSet<QString> m_awaiting;        // shown, the server's id not known yet
    QHash<QString, Notice> m_queued; // shown again meanwhile: sent as a replacement
    QSet<QString> m_withdrawn;       // withdrawn before the server answered
};
