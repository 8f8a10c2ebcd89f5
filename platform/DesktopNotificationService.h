#pragma once

// The desktop's notification service (org.freedesktop.Notifications) as
// Vellumor's banners and notices use it: one proxy per client, and one way of
// showing a notification under Vellumor's name and desktop entry.

#include <QDBusConnection>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

class OrgFreedesktopNotificationsInterface;

namespace DesktopNotificationService {

// The action key that servers send when a notification's body is clicked.
inline const QString defaultAction = QStringLiteral("default");

// A proxy that follows the service's well-known name, so a server that
// starts later (D-Bus activation) is heard as well; nullptr without a bus.
OrgFreedesktopNotificationsInterface *connect(const QDBusConnection &connection, QObject *parent);

// Shows (or, with replacesId, replaces) a notification; `hints` go with the
// desktop entry's. Never waits for the server.
QDBusPendingReply<uint> notify(OrgFreedesktopNotificationsInterface &service, uint replacesId, const QString &title,
                               const QString &text, const QStringList &actions, QVariantMap hints = {});

} // namespace DesktopNotificationService
