#pragma once

// The present moment, as a parameter. Engine code never reads the wall clock
// directly; it asks a Clock, so tests can fix "now" (and its time zone).
// now() carries the time zone that date rules work in: the system clock
// answers in local time, a fixed clock in whatever zone it was given.

#include <QDateTime>

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // The machine's clock in the system time zone.
    static const Clock &system();
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};

// A clock that stands still until told to move.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime now) : m_now(std::move(now)) {}
    QDateTime now() const override { return m_now; }
    void setNow(QDateTime now) { m_now = std::move(now); }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
