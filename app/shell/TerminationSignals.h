#pragma once

// SIGINT, SIGTERM and SIGHUP as an event: a terminal's Ctrl-C or a logout
// reaches the application, which then stops a copy deliberately instead of
// leaving rsync running in its own process group.
// What callers may rely on: received() is emitted on the main thread, from
// the event loop, once per signal; the handler itself only writes a byte.

#include <QObject>

class QSocketNotifier;

class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received();

private:
    QSocketNotifier *m_notifier = nullptr;
};
