#pragma once

// Ends the event loop when the session ends the agent: SIGTERM (logout,
// systemd), SIGINT and SIGHUP are turned into QCoreApplication::quit(), so
// the agent leaves through its normal path and exits with status 0.
// The handler only writes a byte to a socket pair that a QSocketNotifier
// reads in the event loop. One instance per process.

#include <QObject>

class QSocketNotifier;

class QuitOnSignals : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
};
