#include "UserNotifications.h"

#include "DesktopNotificationService.h"
#include "DesktopNotificationsInterface.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUrl>
#include <QVariantMap>

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString fileManagerInterface = QStringLiteral("org.freedesktop.FileManager1");

} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection &connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{
    m_service = DesktopNotificationService::connect(m_connection, this);
    if (!m_service)
        return;
    connect(m_service, &OrgFreedesktopNotificationsInterface::ActionInvoked, this,
            &FreedesktopNotifier::onActionInvoked);
    connect(m_service, &OrgFreedesktopNotificationsInterface::NotificationClosed, this,
            &FreedesktopNotifier::onNotificationClosed);
}

void FreedesktopNotifier::deliverNotification(const UserNotification &notification)
{
    if (!m_service)
        return;

    QStringList actions;
    if (!notification.revealPath.isEmpty())
        actions << DesktopNotificationService::defaultAction << QStringLiteral("Show");
    QVariantMap hints;
    if (notification.playSound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("complete"));

    // Never wait for the server: it may be slow, or live in this very process.
    auto *watcher = new QDBusPendingCallWatcher(
        DesktopNotificationService::notify(*m_service, 0, notification.title, notification.text, actions, hints), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, revealPath = notification.revealPath](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    // No notification service is not an error worth a word.
                    const QDBusError::ErrorType type = reply.error().type();
                    if (type != QDBusError::ServiceUnknown && type != QDBusError::NoReply)
                        qInfo("Notification not shown: %s", qPrintable(reply.error().message()));
                    Q_EMIT notificationSkipped(reply.error().message());
                    return;
                }
                const uint id = reply.value();
                if (!revealPath.isEmpty())
                    m_revealPaths.insert(id, revealPath);
                Q_EMIT notificationShown(id);
            });
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString &actionKey)
{
    const auto found = m_revealPaths.constFind(id);
    if (found == m_revealPaths.constEnd() || actionKey != DesktopNotificationService::defaultAction)
        return;
    const QString path = *found;
    m_revealPaths.erase(found);
    Q_EMIT revealRequested(path);
    revealInFileManager(path);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    m_revealPaths.remove(id);
}

void FreedesktopNotifier::revealInFileManager(const QString &path)
{
    auto fallBack = [this, path] {
        if (m_revealFallback)
            m_revealFallback(path);
    };
    if (!m_connection.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(fileManagerService, fileManagerPath, fileManagerInterface,
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [fallBack](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        if (finished->isError())
            fallBack();
    });
}
