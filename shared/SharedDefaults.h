#pragma once

// The shared defaults suite: preferences read and written by the
// application, the agent and the file-manager extension alike, kept in one
// INI file, $XDG_CONFIG_HOME/vellumor/org.vellumor.Vellumor.shared.conf.
// Each call of getUserDefaults() opens the suite afresh, so it sees what
// other processes wrote; sync() writes at once. A key not stored reads as
// the default that its reader below documents.

#include <QLatin1String>
#include <QSettings>
#include <QString>

#include <memory>

namespace DefaultsKey {
inline constexpr QLatin1String waitForPowerToBackup("waitForPowerToBackup");
inline constexpr QLatin1String protectRoot("protectRoot");
inline constexpr QLatin1String showAnimation("showAnimation");
inline constexpr QLatin1String fastSnapshots("fastSnapshots");
inline constexpr QLatin1String selectedForCopy("selectedForCopy");
inline constexpr QLatin1String selectedForPaste("selectedForPaste");
// The notice about copying with one's own rights last told in a window.
inline constexpr QLatin1String rightsNoticeTold("rightsNoticeTold");
} // namespace DefaultsKey

QString sharedDefaultsFilePath();

std::unique_ptr<QSettings> getUserDefaults();

namespace SharedDefaults {
// Run due jobs only on external power; absent: false.
bool waitForPowerToBackup(const QSettings &defaults);
// Protect the destination's top-level entries from deletion; absent: true.
bool protectRoot(const QSettings &defaults);
// Show the animated transfer view; absent: true.
bool showAnimation(const QSettings &defaults);
// Make a snapshot by cloning the last one and copying into the clone; absent: false.
bool fastSnapshots(const QSettings &defaults);
} // namespace SharedDefaults
