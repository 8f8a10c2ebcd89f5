#include "NoticeBoard.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

FreedesktopNoticeBoard::FreedesktopNoticeBoard(const QDBusConnection &connection, QObject *parent)
    : NoticeBoard(parent)
    , m_connection(connection)
{
    if (!m_connection.isConnected())
        return;
    m_connection.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
    m_connection.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNoticeBoard::show(const QString &key, const QString &title, const QString &text,
                                  const QString &actionLabel)
{
    if (!m_connection.isConnected())
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
        actions << QStringLiteral("default") << actionLabel;
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.vellumor.Vellumor")}};
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QStringLiteral("Vellumor") << m_ids.value(key, 0) << QStringLiteral("org.vellumor.Vellumor") << title
         << text << actions << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
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
    if (!m_connection.isConnected())
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
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("CloseNotification"));
    call << *found;
    m_ids.erase(found);
    m_connection.asyncCall(call);
}

void FreedesktopNoticeBoard::onActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey != u"default")
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
