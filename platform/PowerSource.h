#pragma once

// Whether the machine runs on battery, from UPower on the system bus.
//
// What callers may rely on:
//  - isOnBattery() asks UPower afresh ("OnBattery") and answers false, that
//    is external power, when UPower is not there or does not answer within
//    a few seconds: a machine without UPower is taken to be plugged in;
//  - powerSourceChanged() is emitted from the event loop each time UPower
//    reports a new "OnBattery" value (plugging in or out) and each time the
//    information of its display device (the machine's power sources taken
//    together: charge, state, time left) changes; not for UPower's other
//    properties (the lid and the like).

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class OrgFreedesktopDBusPropertiesInterface;

class PowerSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isOnBattery() = 0;

Q_SIGNALS:
    void powerSourceChanged();
};

class UPowerPowerSource final : public PowerSource
{
    Q_OBJECT
public:
    static constexpr int answerTimeoutMs = 3000;

    explicit UPowerPowerSource(const QDBusConnection &systemBus, QObject *parent = nullptr);
    bool isOnBattery() override;

private:
    void onPropertiesChanged(const QString &interfaceName, const QVariantMap &changed, const QStringList &invalidated);

    OrgFreedesktopDBusPropertiesInterface *m_properties = nullptr;
    OrgFreedesktopDBusPropertiesInterface *m_displayDevice = nullptr;
};
