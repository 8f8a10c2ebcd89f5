#pragma once

// Desktop notification banners ("Backup Starting", "Operation Complete") and
// revealing a finished backup when the user clicks one.
//
// What callers may rely on:
//  - deliverNotification() never blocks and never fails loudly: without a
//    notification service on the session bus (or without a bus) the banner
//    is skipped silently;
//  - a click on a banner that was given a revealPath shows that path in the
//    file manager (org.freedesktop.FileManager1.ShowItems); when no file
//    manager answers, the fallback set with setRevealFallback() is called,
//    and without one nothing happens (the engine has no widgets to open a
//    folder with);
//  - each banner reveals its own path, so clicking an older banner shows
//    the destination of the run it announced.
// Use from the main thread.

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

struct UserNotification
{
    QString title;
    QString text;
    // Shown in the file manager when the banner is clicked; empty: no action.
    QString revealPath;
    // Play the desktop's "operation complete" sound with the banner.
    bool playSound = false;
};

// What the controller takes, so tests can hand it a recording fake.
class UserNotifier
{
public:
    virtual ~UserNotifier() = default;
    virtual void deliverNotification(const UserNotification &notification) = 0;
};

class OrgFreedesktopNotificationsInterface;

// The org.freedesktop.Notifications client.
class FreedesktopNotifier final : public QObject, public UserNotifier
{
    Q_OBJECT
public:
    explicit FreedesktopNotifier(const QDBusConnection &connection = QDBusConnection::sessionBus(),
                                 QObject *parent = nullptr);

    void deliverNotification(const UserNotification &notification) override;

    // Shows a path selected in the file manager, without waiting for it.
    void revealInFileManager(const QString &path);
    void setRevealFallback(std::function<void(const QString &path)> fallback)
    {
        m_revealFallback = std::move(fallback);
    }

    // Banners the service accepted that are still open and can be clicked.
    qsizetype pendingClickCount() const { return m_revealPaths.size(); }

Q_SIGNALS:
    // The service accepted a banner and gave it this id.
    void notificationShown(uint id);
    // The banner was not shown: no service, or the service refused it.
    void notificationSkipped(const QString &reason);
    // A click asked for this path to be revealed.
    void revealRequested(const QString &path);

private:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

    QDBusConnection m_connection;
    OrgFreedesktopNotificationsInterface *m_service = nullptr;
    QHash<uint, QString> m_revealPaths;
    std::function<void(const QString &)> m_revealFallback;
};
