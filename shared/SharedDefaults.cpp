#include "SharedDefaults.h"

#include "Identifiers.h"
#include "Locations.h"

QString sharedDefaultsFilePath()
{
    return Locations::userConfigFolder() + QStringLiteral("/vellumor/") + Vellumor::SharedDefaultsSuite
        + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> getUserDefaults()
{
    return std::make_unique<QSettings>(sharedDefaultsFilePath(), QSettings::IniFormat);
}

namespace SharedDefaults {

namespace {
bool boolValue(const QSettings &defaults, QLatin1String key, bool whenAbsent)
{
    const QVariant value = defaults.value(key);
    return value.isValid() ? value.toBool() : whenAbsent;
}
} // namespace

bool waitForPowerToBackup(const QSettings &defaults)
{
    return boolValue(defaults, DefaultsKey::waitForPowerToBackup, false);
}

bool protectRoot(const QSettings &defaults)
{
    return boolValue(defaults, DefaultsKey::protectRoot, true);
}

bool showAnimation(const QSettings &defaults)
{
    return boolValue(defaults, DefaultsKey::showAnimation, true);
}

bool fastSnapshots(const QSettings &defaults)
{
    return boolValue(defaults, DefaultsKey::fastSnapshots, false);
}

} // namespace SharedDefaults
