#include "TaskToEnd.h"

#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

class ToEndDelegate final : public MFTaskDelegateProtocol
{
public:
    ToEndDelegate(const TaskOutputHandler &onOutput, const std::function<bool()> &keepGoing, QThread *home)
        : m_onOutput(onOutput)
        , m_keepGoing(keepGoing)
        , m_home(home)
    {}

    void taskDidRecieveData(const QByteArray &data, MFTask *task) override { handOver(data, task); }
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *task) override { handOver(data, task); }
    void taskDidTerminate(MFTask *task) override { finish(task); }
    void taskDidRecieveInvalidate(MFTask *task) override { finish(task); }
    void taskDidLaunch(MFTask *task) override { checkKeepGoing(task); }

    bool stopped() const { return m_stopped; }
    // Stopped with the deliveries, on their thread.
    void setPoll(QTimer *poll) { m_poll = poll; }

    bool checkKeepGoing(MFTask *task)
    {
        if (!m_stopped && m_keepGoing && !m_keepGoing()) {
            m_stopped = true;
            task->killProcessGroup();
        }
        return !m_stopped;
    }
    void handOver(const QByteArray &data, MFTask *task)
    {
        if (checkKeepGoing(task) && m_onOutput)
            m_onOutput(data);
    }
    void finish(MFTask *task)
    {
        if (m_poll)
            m_poll->stop();
        // Runs on the task's own thread: hand the task back before that
        // thread ends, so the caller can delete it.
        task->moveToThread(m_home);
        QThread::currentThread()->quit();
    }

    QTimer *m_poll = nullptr;
    const TaskOutputHandler &m_onOutput;
    const std::function<bool()> &m_keepGoing;
    QThread *m_home;
    std::atomic<bool> m_stopped{false};
};

} // namespace

TaskToEndResult runTaskToEnd(MFTask &task, const TaskOutputHandler &onOutput, const std::function<bool()> &keepGoing)
{
    TaskToEndResult result;
    ToEndDelegate delegate(onOutput, keepGoing, task.thread());
    task.setDelegate(&delegate);
    try {
        if (!task.launch()) {
            result.launchError = QStringLiteral("the task was ended before it started");
            task.setDelegate(nullptr);
            return result;
        }
    } catch (const std::exception &error) {
        result.launchError = QString::fromLocal8Bit(error.what());
        task.setDelegate(nullptr);
        return result;
    }
    result.launched = true;
    // Messages posted before the move travel with the task to its thread.
    QThread deliveries;
    deliveries.setObjectName(QStringLiteral("task deliveries"));
    task.moveToThread(&deliveries);
    // keepGoing is also asked while the child is silent, so a stop ends a
    // quiet child too.
    QTimer poll;
    if (keepGoing) {
        poll.setInterval(keepGoingPollMs);
        poll.moveToThread(&deliveries);
        QObject::connect(&poll, &QTimer::timeout, &poll, [&delegate, &task] { delegate.checkKeepGoing(&task); });
        QObject::connect(&deliveries, &QThread::started, &poll, qOverload<>(&QTimer::start));
        delegate.setPoll(&poll);
    }
    deliveries.start();
    deliveries.wait();
    result.stoppedByCaller = delegate.stopped();
    result.termination = task.termination();
    task.setDelegate(nullptr);
    return result;
}
