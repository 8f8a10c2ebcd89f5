#pragma once

// A NotificationPoster that remembers what was posted, for tests that check
// that a save tells the other processes without needing a bus.

#include "NotificationPoster.h"

#include <QList>
#include <QPair>
#include <QString>

class RecordingPoster final : public NotificationPoster
{
public:
    void postNotification(const QString &name, const QString &object) override { posted.append({name, object}); }
    QList<QPair<QString, QString>> posted;
};
