#pragma once

// Something that posts a named notification with an object string to the
// other Vellumor processes. Posting never blocks and never fails loudly: a
// notification nobody listens to is simply lost.

#include <QString>

class NotificationPoster
{
public:
    virtual ~NotificationPoster() = default;
    virtual void postNotification(const QString &name, const QString &object) = 0;
};
