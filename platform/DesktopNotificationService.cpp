#include "DesktopNotificationService.h"

#include "DesktopNotificationsInterface.h"

namespace DesktopNotificationService {

OrgFreedesktopNotificationsInterface *connect(const QDBusConnection &connection, QObject *parent)
{
    if (!connection.isConnected())
        return nullptr;
    return new OrgFreedesktopNotificationsInterface(QStringLiteral("org.freedesktop.Notifications"),
                                                    QStringLiteral("/org/freedesktop/Notifications"), connection,
                                                    parent);
}

QDBusPendingReply<uint> notify(OrgFreedesktopNotificationsInterface &service, uint replacesId, const QString &title,
                               const QString &text, const QStringList &actions, QVariantMap hints)
{
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.vellumor.Vellumor"));
    return service.Notify(QStringLiteral("Vellumor"), replacesId, QStringLiteral("org.vellumor.Vellumor"), title, text,
                          actions, hints, -1);
}

} // namespace DesktopNotificationService
