#include "WallClockTimer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

qint64 realtimeNowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

WallClockTimer::WallClockTimer(QObject *parent, std::chrono::milliseconds maximumSpan)
    : WakeTimer(parent)
    , m_maximumSpan(maximumSpan)
{
    m_fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &WallClockTimer::onReadable);
    } else {
        qWarning("timerfd_create failed (%s): wake-ups follow the monotonic clock", std::strerror(errno));
    }
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_fallback, &QTimer::timeout, this, &WallClockTimer::onFallbackTimeout);
}

WallClockTimer::~WallClockTimer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WallClockTimer::armAt(const QDateTime &moment)
{
    m_target = moment.isValid() ? moment : QDateTime::fromMSecsSinceEpoch(0);
    arm();
}

void WallClockTimer::cancel()
{
    m_target = QDateTime();
    m_fallback.stop();
    if (m_fd >= 0) {
        const itimerspec disarmed{};
        ::timerfd_settime(m_fd, 0, &disarmed, nullptr);
    }
}

qint64 WallClockTimer::nextStepMs() const
{
    // One millisecond past the moment: a reader of the clock at that
    // millisecond would still find the moment not yet passed.
    const qint64 end = m_target.toMSecsSinceEpoch() + 1;
    return std::min(end, realtimeNowMs() + qint64(m_maximumSpan.count()));
}

void WallClockTimer::arm()
{
    ++m_armings;
    m_stepEndMs = nextStepMs();
    if (m_fd < 0) {
        m_fallback.start(std::chrono::milliseconds(std::max<qint64>(0, m_stepEndMs - realtimeNowMs())));
        return;
    }
    itimerspec wakeUp{};
    // A zero it_value would disarm the timer; a moment at or before the
    // epoch is long past, so one nanosecond fires it at once all the same.
    wakeUp.it_value.tv_sec = time_t(std::max<qint64>(0, m_stepEndMs) / 1000);
    wakeUp.it_value.tv_nsec = long(std::max<qint64>(0, m_stepEndMs) % 1000 * 1000000);
    if (wakeUp.it_value.tv_sec == 0 && wakeUp.it_value.tv_nsec == 0)
        wakeUp.it_value.tv_nsec = 1;
    if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &wakeUp, nullptr) != 0)
        qWarning("timerfd_settime failed: %s", std::strerror(errno));
}

void WallClockTimer::onReadable()
{
    std::uint64_t expirations = 0;
    const ssize_t n = ::read(m_fd, &expirations, sizeof expirations);
    if (n < 0 && errno == ECANCELED) {
        // The clock was set. The kernel dropped the timer; the moment still
        // stands, so arm again (it fires at once if the jump passed it).
        if (isArmed())
            arm();
        Q_EMIT clockChanged();
        return;
    }
    if (n != sizeof expirations || !isArmed())
        return;
    if (m_stepEndMs <= m_target.toMSecsSinceEpoch()) {
        arm(); // only a step of a long wait
        return;
    }
    m_target = QDateTime();
    Q_EMIT fired();
}

void WallClockTimer::onFallbackTimeout()
{
    if (!isArmed())
        return;
    if (realtimeNowMs() <= m_target.toMSecsSinceEpoch()) {
        arm();
        return;
    }
    m_target = QDateTime();
    Q_EMIT fired();
}
