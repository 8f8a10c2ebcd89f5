#pragma once

// SIGINT, SIGTERM and SIGHUP as an event: a terminal's Ctrl-C, a logout or
// systemd's stop reaches the program's own clean-up path (stopping a copy,
// quitting the event loop) instead of ending it on the spot.
//
// What callers may rely on: received() is emitted on the thread that owns
// the object, from its event loop, once for every burst of signals; the
// handler itself only writes a byte to a pipe (all a signal handler may
// safely do). While the object lives the three signals are handled; its
// destruction gives them their default action back. One instance per
// process.

#include <QObject>

#include <memory>

class QSocketNotifier;

class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    // Whether a system call a signal interrupts starts again (SA_RESTART)
    // or fails with EINTR.
    enum class InterruptedCalls { Fail, Restart };

    explicit TerminationSignals(InterruptedCalls interrupted = InterruptedCalls::Fail, QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe could not be made (the signals keep their defaults).
    bool isInstalled() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
