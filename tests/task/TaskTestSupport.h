#pragma once

#include "EventLoopWait.h"
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

inline QString taskChildPath()
{
    return QStringLiteral(TASK_CHILD);
}
