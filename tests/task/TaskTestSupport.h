#pragma once

#include "MFTask.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QString>
#include <QStringList>

#include <functional>

// A delegate that records every message in the order it arrived.
class RecordingDelegate : public MFTaskDelegateProtocol
{
public:
    enum Kind { Data, ErrorData, Terminate, Invalidate, Launch };
    struct Event
    {
        Kind kind;
        qsizetype size;
    };

    void taskDidRecieveData(const QByteArray &data, MFTask *) override
    {
        output += data;
        events.push_back({Data, data.size()});
    }
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *) override
    {
        error += data;
        events.push_back({ErrorData, data.size()});
    }
    void taskDidTerminate(MFTask *) override { events.push_back({Terminate, 0}); }
    void taskDidRecieveInvalidate(MFTask *) override { events.push_back({Invalidate, 0}); }
    void taskDidLaunch(MFTask *) override { events.push_back({Launch, 0}); }

    int count(Kind kind) const
    {
        int n = 0;
        for (const Event &event : events)
            n += event.kind == kind ? 1 : 0;
        return n;
    }

    QByteArray output;
    QByteArray error;
    std::vector<Event> events;
};

// Runs the event loop until the condition holds. The deadline only keeps a
// broken build from hanging CI; no result depends on it.
inline bool processEventsUntil(const std::function<bool()> &condition, int guardMs = 60000)
{
    QDeadlineTimer deadline(guardMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

inline QString taskChildPath()
{
    return QStringLiteral(TASK_CHILD);
}
