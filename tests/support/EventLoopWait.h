#pragma once

// Runs the event loop until the condition holds, checking it every few
// milliseconds without spinning. The guard only turns a hang into a failure;
// no passing test ever waits for it. Returns whether the condition held.

#include <QEventLoop>
#include <QTimer>

#include <functional>

inline bool processEventsUntil(const std::function<bool()> &condition, int guardMs = 120000)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(guardMs, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}
