#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};
constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void writeSignalByte(int)
{
    const char byte = 1;
    // Nothing can be done about a failed write inside a handler.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void setHandler(void (*handler)(int), int flags)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    for (const int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(InterruptedCalls interrupted, QObject *parent) : QObject(parent)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {}
        Q_EMIT received();
    });
    setHandler(writeSignalByte, interrupted == InterruptedCalls::Restart ? SA_RESTART : 0);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    setHandler(SIG_DFL, 0);
    m_notifier.reset();
    for (int &fd : g_signalPipe) {
        ::close(fd);
        fd = -1;
    }
}
