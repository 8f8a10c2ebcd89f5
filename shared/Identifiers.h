#pragma once

// The fixed names every Vellumor process agrees on: bundle identifiers (also
// the D-Bus names), the shared defaults suite, the schedule file and the
// distributed notifications. Changing any of them breaks the other processes
// and files already on users' disks.

#include "BusNames.h"

#include <QLatin1String>

namespace Vellumor {

inline constexpr QLatin1String MainAppBundleId("org.vellumor.Vellumor");
inline constexpr QLatin1String HelperBundleId("org.vellumor.Vellumor.Helper");
inline constexpr QLatin1String SharedDefaultsSuite("org.vellumor.Vellumor.shared");

inline constexpr QLatin1String ScheduleFileName("Scheduled Backups.xml");

// Distributed notifications: D-Bus signals on this path and interface, each
// carrying one string, the object, which observers filter on.
inline constexpr QLatin1String NotificationsObjectPath(VELLUMOR_NOTIFICATIONS_OBJECT_PATH);
inline constexpr QLatin1String NotificationsInterface(VELLUMOR_NOTIFICATIONS_INTERFACE);
inline constexpr QLatin1String JobToDoNotification("JOBTODO");
inline constexpr QLatin1String ScheduleChangedNotification("SCHEDULECHANGED");
inline constexpr QLatin1String VolumesChangedNotification(VELLUMOR_VOLUMES_CHANGED_NOTIFICATION);
inline constexpr QLatin1String NotificationObject(VELLUMOR_NOTIFICATION_OBJECT);

} // namespace Vellumor
