#pragma once

// Stand-ins the controller's tests share: a privileged runner that never asks
// for a password, and a notifier that keeps the banners it was given.

#include "CheckAndSetAuthorization.h"
#include "UserNotifications.h"

#include <QList>
#include <QStringList>

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
