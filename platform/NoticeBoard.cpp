#include "NoticeBoard.h"

#include "DesktopNotificationService.h"
#include "DesktopNotificationsInterface.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

FreedesktopNoticeBoard::FreedesktopNoticeBoard(const QDBusConnection &connection, QObject *parent)
    : NoticeBoard(parent)
    , m_connection(connection)
{
    m_service = DesktopNotificationService::connect(m_connection, this);
    if (!m_service)
        return;
    connect(m_service, &OrgFreedesktopNotificationsInterface::ActionInvoked, this,
            &FreedesktopNoticeBoard::onActionInvoked);
    connect(m_service, &OrgFreedesktopNotificationsInterface::NotificationClosed, this,
            &FreedesktopNoticeBoard::onNotificationClosed);
}

void FreedesktopNoticeBoard::show(const QString &key, const QString &title, const QString &text,
                                  const QString &actionLabel)
{
    if (!m_service)
        return;
    m_withdrawn.remove(key);
    // Its id is on the way: the newer text replaces it once the id is known.
    if (m_awaiting.contains(key)) {
        m_queued.insert(key, {title, text, actionLabel});
        return;
    }
    m_awaiting.insert(key);
    QStringList actions;
    if (!actionLabel.isEmpty())
        actions << DesktopNotificationService::defaultAction << actionLabel;
    auto *watcher = new QDBusPendingCallWatcher(
        DesktopNotificationService::notify(*m_service, m_ids.value(key, 0), title, text, actions), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        m_awaiting.remove(key);
        const QDBusPendingReply<uint> reply = *finished;
        if (!reply.isError())
            m_ids.insert(key, reply.value());
        if (const auto queued = m_queued.constFind(key); queued != m_queued.constEnd()) {
            const Notice notice = *queued;
            m_queued.erase(queued);
            show(key, notice.title, notice.text, notice.actionLabel);
        } else if (m_withdrawn.contains(key)) {
            // Withdrawn while the server was still answering: it goes now.
            withdraw(key);
        }
    });
}

void FreedesktopNoticeBoard::withdraw(const QString &key)
{
    if (!m_service)
        return;
    m_queued.remove(key);
    // A notice still on its way is closed as soon as its id comes back.
    if (m_awaiting.contains(key))
        m_withdrawn.insert(key);
    else
        m_withdrawn.remove(key);
    const auto found = m_ids.constFind(key);
    if (found == m_ids.constEnd())
        return;
    const uint id = *found;
    m_ids.erase(found);
    m_service->CloseNotification(id);
}

void FreedesktopNoticeBoard::onActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey != DesktopNotificationService::defaultAction)
        return;
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it) {
        if (it.value() == id) {
            const QString key = it.key();
            Q_EMIT activated(key);
            return;
        }
    }
}

void FreedesktopNoticeBoard::onNotificationClosed(uint id, uint)
{
    for (auto it = m_ids.begin(); it != m_ids.end(); ++it) {
        if (it.value() == id) {
            m_ids.erase(it);
            return;
        }
    }
}
