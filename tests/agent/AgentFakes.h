#pragma once

// Stand-ins for the agent's services in in-process tests: a wake-up timer
// that a test fires, a power source that a test plugs in and out, a
// launcher that counts starts and a mount table a test mounts disks in.

#include "Clock.h"
#include "MainAppLauncher.h"
#include "MountTable.h"
#include "NoticeBoard.h"
#include "PowerSource.h"
#include "WakeTimer.h"

#include <QSet>

class FakeWakeTimer final : public WakeTimer
{
    Q_OBJECT
public:
    void armAt(const QDateTime &moment) override { m_moment = moment; }
    void cancel() override { m_moment = QDateTime(); }
    bool isArmed() const override { return m_moment.isValid(); }
    QDateTime armedFor() const override { return m_moment; }

    // The moment came.
    void fire()
    {
        m_moment = QDateTime();
        Q_EMIT fired();
    }
    // The system clock was set to now: as the kernel does, the pending
    // wake-up is cancelled and reported, then fires if the jump passed it.
    void clockSet(const QDateTime &now)
    {
        if (!isArmed())
            return;
        Q_EMIT clockChanged();
        if (isArmed() && m_moment <= now)
            fire();
    }

private:
    QDateTime m_moment;
};

class FakePowerSource final : public PowerSource
{
    Q_OBJECT
public:
    bool isOnBattery() override
    {
        ++queries;
        return m_onBattery;
    }
    void setOnBattery(bool onBattery)
    {
        m_onBattery = onBattery;
        Q_EMIT powerSourceChanged();
    }
    int queries = 0;

private:
    bool m_onBattery = false;
};

class FakeLauncher final : public MainAppLauncher
{
public:
    bool isMainAppRunning() override { return running; }
    bool launch() override
    {
        ++launches;
        return true;
    }
    bool running = false;
    int launches = 0;
};

class FakeMountTable final : public MountTable
{
public:
    bool isVolumeRoot(const QString &path) const override { return roots.contains(path); }
    QSet<QString> roots;
};

// Keeps what was shown and withdrawn, by key.
class FakeNoticeBoard final : public NoticeBoard
{
    Q_OBJECT
public:
    void show(const QString &key, const QString &title, const QString &, const QString &) override
    {
        shown.append({key, title});
    }
    void withdraw(const QString &key) override { withdrawn.append(key); }
    QList<QPair<QString, QString>> shown; // key, title
    QStringList withdrawn;
};
