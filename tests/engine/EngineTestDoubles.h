#pragma once

// Stand-ins the controller's tests share: a privileged runner that never asks
// for a password, a notifier that keeps the banners it was given, and the
// services and end record of a controller whose runs use the real tools.

#include "CheckAndSetAuthorization.h"
#include "Clock.h"
#include "MFTaskAppDelegate.h"
#include "UserNotifications.h"

#include <QList>
#include <QPair>
#include <QStringList>

class SharedSchedule;

class NoPrivileges : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &) override { return 0; }
};

class RecordingNotifier : public UserNotifier
{
public:
    void deliverNotification(const UserNotification &notification) override { delivered.append(notification); }
    QList<UserNotification> delivered;
};

// Services for runs with the real tools (or those in `toolDirectory`), at
// the time of `clock`, which the wait for the next minute moves on.
inline MFTaskAppServices realToolServices(FixedClock &clock, NoPrivileges &privileges, SharedSchedule &schedule,
                                          RecordingNotifier &notifier, const QString &toolDirectory)
{
    MFTaskAppServices services;
    services.clock = &clock;
    services.waitForNextMinute = [&clock] {
        clock.advanceSeconds(60);
        return true;
    };
    services.privilegedRunner = &privileges;
    services.toolDirectory = toolDirectory;
    services.schedule = &schedule;
    services.notifier = &notifier;
    return services;
}

// Appends every run's outcome and detail to `ends` as the run finishes.
inline void recordRunEnds(MFTaskAppDelegate &controller, QList<QPair<MFTaskAppDelegate::RunOutcome, QString>> &ends)
{
    QObject::connect(&controller, &MFTaskAppDelegate::runFinished, &controller,
                     [&ends](MFTaskAppDelegate::RunOutcome outcome, const QString &detail) {
                         ends.append({outcome, detail});
                     });
}
