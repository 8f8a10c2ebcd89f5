#pragma once

// systemd-logind inhibitor locks: while one is held, the machine does not
// go to sleep ("block") or waits for its holder to let go ("delay", a few
// seconds at most, as logind's InhibitDelayMaxSec allows).
//
// What callers may rely on: hold() never blocks; a lock logind denies (or
// no logind at all) is logged and otherwise ignored; release() closes every
// lock this object holds, including one granted after the release was asked
// for, so no lock outlives its run.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QObject>
#include <QString>

class OrgFreedesktopLogin1ManagerInterface;

class SleepInhibitor final : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Block, Delay };

    explicit SleepInhibitor(const QDBusConnection &systemBus, QObject *parent = nullptr);

    // Asks for a lock on "sleep:idle" (Block) or "sleep" (Delay) for `who`,
    // saying `why`.
    void hold(Mode mode, const QString &who, const QString &why);
    void release();
    int heldCount() const { return int(m_held.size()); }

Q_SIGNALS:
    // logind answered a hold(): granted, or not.
    void answered(bool granted);

private:
    OrgFreedesktopLogin1ManagerInterface *m_manager;
    QList<QDBusUnixFileDescriptor> m_held;
    quint64 m_generation = 0; // answers to holds from before a release are let go
};
