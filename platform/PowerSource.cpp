#include "PowerSource.h"

#include "PropertiesInterface.h"

namespace {
const QString upowerService = QStringLiteral("org.freedesktop.UPower");
const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString upowerInterface = QStringLiteral("org.freedesktop.UPower");
const QString onBatteryProperty = QStringLiteral("OnBattery");
// UPower's summary of the machine's power sources (charge, state, time left).
const QString displayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
} // namespace

UPowerPowerSource::UPowerPowerSource(const QDBusConnection &systemBus, QObject *parent) : PowerSource(parent)
{
    m_properties = new OrgFreedesktopDBusPropertiesInterface(upowerService, upowerPath, systemBus, this);
    m_properties->setTimeout(answerTimeoutMs);
    connect(m_properties, &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged, this,
            &UPowerPowerSource::onPropertiesChanged);
    m_displayDevice = new OrgFreedesktopDBusPropertiesInterface(upowerService, displayDevicePath, systemBus, this);
    connect(m_displayDevice, &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged, this,
            [this](const QString &interfaceName, const QVariantMap &, const QStringList &) {
                if (interfaceName == deviceInterface)
                    Q_EMIT powerSourceChanged();
            });
}

bool UPowerPowerSource::isOnBattery()
{
    if (!m_properties->connection().isConnected())
        return false;
    QDBusPendingReply<QDBusVariant> reply = m_properties->Get(upowerInterface, onBatteryProperty);
    reply.waitForFinished();
    if (reply.isError())
        return false;
    return reply.value().variant().toBool();
}

void UPowerPowerSource::onPropertiesChanged(const QString &interfaceName, const QVariantMap &changed,
                                            const QStringList &invalidated)
{
    if (interfaceName != upowerInterface)
        return;
    if (changed.contains(onBatteryProperty) || invalidated.contains(onBatteryProperty))
        Q_EMIT powerSourceChanged();
}
