/* The D-Bus names of Vellumor's distributed notifications, shared by the C++
 * processes (through Identifiers.h) and the plain-C file-manager extension,
 * so every listener matches what the emitter sends. Plain C: no Qt, no C++. */
#ifndef VELLUMOR_BUS_NAMES_H
#define VELLUMOR_BUS_NAMES_H

#define VELLUMOR_NOTIFICATIONS_OBJECT_PATH "/org/vellumor/Vellumor"
#define VELLUMOR_NOTIFICATIONS_INTERFACE "org.vellumor.Vellumor.Notifications"
#define VELLUMOR_VOLUMES_CHANGED_NOTIFICATION "VolumesChanged"
/* The one argument every notification carries; observers filter on it. */
#define VELLUMOR_NOTIFICATION_OBJECT "beepbeep"

#endif
