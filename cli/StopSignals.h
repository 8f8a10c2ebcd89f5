#pragma once

// Ctrl-C, SIGTERM and SIGHUP for a terminal run: the handler only writes a
// byte to a pipe (all a signal handler may safely do), and the event loop
// then calls `onStop`, which takes the controller's stop path so rsync is
// ended and nothing is left running. One instance per process.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(std::function<void()> onStop, QObject *parent = nullptr);
    ~StopSignals() override;
    // False when the pipe could not be made (the signals keep their defaults).
    bool isInstalled() const { return m_notifier != nullptr; }

private:
    std::function<void()> m_onStop;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
