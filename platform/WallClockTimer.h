#pragma once

// The machine's WakeTimer: a timerfd on CLOCK_REALTIME armed at an absolute
// time with TFD_TIMER_CANCEL_ON_SET, watched by a QSocketNotifier. Unlike a
// QTimer, whose monotonic clock stands still during suspend, it fires at the
// wall-clock moment after a suspend, and the kernel cancels it when the
// clock is set, which is reported as clockChanged().
//
// A moment further away than maximumSpan is reached in steps: the timer is
// armed at most maximumSpan ahead and re-armed silently until the moment
// comes. Without timerfd (never on Linux) a QTimer stands in.

#include "WakeTimer.h"

#include <QTimer>

#include <chrono>

class QSocketNotifier;

class WallClockTimer final : public WakeTimer
{
    Q_OBJECT
public:
    // What an int-millisecond Qt timer can hold, so both ways behave alike.
    static constexpr std::chrono::milliseconds defaultMaximumSpan{std::chrono::hours(24 * 24)};

    explicit WallClockTimer(QObject *parent = nullptr, std::chrono::milliseconds maximumSpan = defaultMaximumSpan);
    ~WallClockTimer() override;

    void armAt(const QDateTime &moment) override;
    void cancel() override;
    bool isArmed() const override { return m_target.isValid(); }
    QDateTime armedFor() const override { return m_target; }

    // How many times the kernel timer was set, for the idle-cost check.
    int armings() const { return m_armings; }

private:
    void arm();
    void onReadable();
    void onFallbackTimeout();
    qint64 nextStepMs() const;

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_fallback;
    QDateTime m_target;
    qint64 m_stepEndMs = 0; // ms since the epoch at which the armed step ends
    std::chrono::milliseconds m_maximumSpan;
    int m_armings = 0;
};
