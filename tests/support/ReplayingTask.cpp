#include "ReplayingTask.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>

// The replaying task itself; only the factory makes it.
class ReplayingTask final : public MFTask
{
public:
    explicit ReplayingTask(const ReplayingTaskFactory &factory) : m_factory(factory) {}
    ~ReplayingTask() override
    {
        if (m_running)
            m_factory.countRunning(-1);
    }

    qint64 processIdentifier() const override { return m_launched ? 4242 : -1; }
    TaskTermination termination() const override
    {
        std::lock_guard guard(m_mutex);
        return m_ended ? m_termination : TaskTermination();
    }
    QString terminationDescription() const override
    {
        if (!m_ended)
            return m_launched ? QStringLiteral("running") : QStringLiteral("not started");
        return termination().description();
    }
    bool isRunning() const override { return m_running; }
    void waitUntilExit() const override
    {
        std::unique_lock lock(m_mutex);
        m_endedSignal.wait(lock, [this] { return m_ended || !m_launched; });
    }

    bool launch() override
    {
        if (m_sentTerminate)
            return false;
        if (!delegate())
            throw MFTaskException("**Exception: Attempt to launch MFTask without a delegate");
        if (m_launched)
            throw MFTaskException("**Exception: Attempt to relaunch an MFTask");
        const TaskScript script = m_factory.scriptFor(launchPath(), arguments());
        if (script.failsToLaunch)
            throw MFTaskLaunchError(ENOENT, launchPath());
        m_launched = true;
        m_running = true;
        m_factory.countRunning(+1);
        setHasLaunched(true);
        delegate()->taskDidLaunch(this);
        for (const TaskScript::Chunk &chunk : script.chunks)
            QMetaObject::invokeMethod(
                this, [this, chunk] { deliver(chunk); }, Qt::QueuedConnection);
        if (!script.stalls)
            QMetaObject::invokeMethod(
                this, [this, end = script.termination] { finish(end); }, Qt::QueuedConnection);
        return true;
    }

    void terminate() override
    {
        m_sentTerminate = true;
        if (m_running)
            QMetaObject::invokeMethod(
                this, [this] { finish(TaskTermination::signalled(SIGTERM)); }, Qt::QueuedConnection);
        else if (!m_launched)
            setIsFinished(true);
    }
    void killProcessGroup() override
    {
        // Any thread: the end is delivered on the task's own.
        if (m_running)
            QMetaObject::invokeMethod(
                this, [this] { finish(TaskTermination::signalled(SIGKILL)); }, Qt::QueuedConnection);
    }
    void invalidate() override
    {
        m_sentTerminate = true;
        if (m_running)
            killProcessGroup();
        setIsFinished(true);
        MFTaskDelegateProtocol *listener = delegate();
        setDelegate(nullptr);
        if (listener)
            listener->taskDidRecieveInvalidate(this);
    }

private:
    void deliver(const TaskScript::Chunk &chunk)
    {
        // A killed program writes nothing more.
        if (m_ended || !delegate())
            return;
        if (chunk.isError)
            delegate()->taskDidRecieveErrorData(chunk.data, this);
        else
            delegate()->taskDidRecieveData(chunk.data, this);
    }
    void finish(const TaskTermination &termination)
    {
        {
            std::lock_guard guard(m_mutex);
            if (m_ended)
                return;
            m_ended = true;
            m_termination = termination;
        }
        m_running = false;
        m_factory.countRunning(-1);
        m_endedSignal.notify_all();
        setIsFinished(true);
        if (MFTaskDelegateProtocol *listener = delegate()) {
            listener->taskDidTerminate(this);
            setDelegate(nullptr);
        }
    }

    const ReplayingTaskFactory &m_factory;
    std::atomic<bool> m_launched{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_ended{false};
    bool m_sentTerminate = false;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_endedSignal;
    TaskTermination m_termination;
};

TaskScript TaskScript::fromFixture(const QString &fileName, int exitCode, qsizetype chunkSize)
{
    QFile file(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(fileName));
    const QByteArray data = file.readAll();
    TaskScript script;
    for (qsizetype at = 0; at < data.size(); at += chunkSize)
        script.chunks.append({data.mid(at, chunkSize), false});
    script.termination = TaskTermination::exited(exitCode);
    return script;
}

TaskScript &TaskScript::output(const QByteArray &data)
{
    chunks.append({data, false});
    return *this;
}

TaskScript &TaskScript::errorOutput(const QByteArray &data)
{
    chunks.append({data, true});
    return *this;
}

std::unique_ptr<MFTask> ReplayingTaskFactory::makeTask() const
{
    return std::make_unique<ReplayingTask>(*this);
}

TaskScript ReplayingTaskFactory::scriptFor(const QString &launchPath, const QStringList &arguments) const
{
    const QString program = QFileInfo(launchPath).fileName();
    {
        QMutexLocker guard(&m_mutex);
        m_launches.append(QStringList{program} + arguments);
    }
    return m_chooser ? m_chooser(program, arguments) : TaskScript();
}

void ReplayingTaskFactory::countRunning(int change) const
{
    QMutexLocker guard(&m_mutex);
    m_running += change;
}

QList<QStringList> ReplayingTaskFactory::launches() const
{
    QMutexLocker guard(&m_mutex);
    return m_launches;
}

QList<QStringList> ReplayingTaskFactory::launchesOf(const QString &program) const
{
    QList<QStringList> result;
    for (const QStringList &launch : launches())
        if (launch.constFirst() == program)
            result.append(launch);
    return result;
}

int ReplayingTaskFactory::runningCount() const
{
    QMutexLocker guard(&m_mutex);
    return m_running;
}
