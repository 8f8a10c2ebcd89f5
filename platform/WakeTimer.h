#pragma once

// A one-shot wake-up at a wall-clock moment.
//
// What callers may rely on:
//  - fired() is emitted once, from the event loop, when the clock has
//    passed the moment given to armAt() (at once when it has passed
//    already), so a clock read then finds the moment in the past;
//    arming again replaces the pending wake-up, cancel() drops it;
//  - clockChanged() is emitted when the system clock is set while a wake-up
//    is pending; the wake-up stays pending for the same moment, so one set
//    forward past that moment is followed by fired();
//  - after fired() the timer is no longer armed.

#include <QDateTime>
#include <QObject>

class WakeTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void armAt(const QDateTime &moment) = 0;
    virtual void cancel() = 0;
    virtual bool isArmed() const = 0;
    // The moment of the pending wake-up; invalid when none is pending.
    virtual QDateTime armedFor() const = 0;

Q_SIGNALS:
    void fired();
    void clockChanged();
};
