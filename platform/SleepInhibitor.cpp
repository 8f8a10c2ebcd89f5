#include "SleepInhibitor.h"

#include "Login1ManagerInterface.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

SleepInhibitor::SleepInhibitor(const QDBusConnection &systemBus, QObject *parent)
    : QObject(parent)
    , m_manager(new OrgFreedesktopLogin1ManagerInterface(QStringLiteral("org.freedesktop.login1"),
                                                         QStringLiteral("/org/freedesktop/login1"), systemBus, this))
{}

void SleepInhibitor::hold(Mode mode, const QString &who, const QString &why)
{
    const bool delay = mode == Mode::Delay;
    auto *watcher = new QDBusPendingCallWatcher(
        m_manager->Inhibit(delay ? QStringLiteral("sleep") : QStringLiteral("sleep:idle"), who, why,
                           delay ? QStringLiteral("delay") : QStringLiteral("block")),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isError()) {
                    qInfo("No inhibitor lock against sleep: %s", qPrintable(reply.error().message()));
                    Q_EMIT answered(false);
                    return;
                }
                // Released meanwhile: the descriptor closes as the reply goes.
                if (generation == m_generation)
                    m_held.append(reply.value());
                Q_EMIT answered(true);
            });
}

void SleepInhibitor::release()
{
    ++m_generation;
    // Closing the last copy of each descriptor ends its lock.
    m_held.clear();
}
