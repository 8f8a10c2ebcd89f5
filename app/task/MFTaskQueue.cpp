#include "MFTaskQueue.h"

#include <QTimer>

MFTaskQueue::MFTaskQueue(QObject *parent) : QObject(parent)
{}

MFTaskQueue::~MFTaskQueue()
{
    for (MFTask *task : std::as_const(m_observed))
        disconnect(task, nullptr, this, nullptr);
}

void MFTaskQueue::addTask(MFTask *task)
{
    task->setParent(this);
    m_tasks.append(task);
    if (!m_waitingForTimer)
        launchTasksIfNeeded();
}

void MFTaskQueue::launchTasksIfNeeded()
{
    m_waitingForTimer = false;
    const qint64 freeSlots = m_maxConcurrentTaskCount - numRunning();
    if (freeSlots <= 0)
        return;
    for (MFTask *task : std::as_const(m_tasks)) {
        if (task->hasLaunched() || task->isFinished())
            continue;
        observe(task);
        bool launched = false;
        try {
            launched = task->launch();
        } catch (const MFTaskLaunchError &error) {
            qWarning("MFTaskQueue: %s", error.what());
        }
        if (!launched) {
            stopObserving(task);
            continue;
        }
        if (freeSlots >= 2) {
            m_waitingForTimer = true;
            QTimer::singleShot(int(m_staggerSeconds * 1000.0), this, &MFTaskQueue::launchTasksIfNeeded);
        }
        return;
    }
}

qint64 MFTaskQueue::numRunning() const
{
    // A slot stays taken from the launch until the task's end has been
    // handled: a child that exits at once still counts until then.
    qint64 count = 0;
    for (const MFTask *task : m_tasks)
        count += task->hasLaunched() && !task->isFinished() ? 1 : 0;
    return count;
}

qint64 MFTaskQueue::remainingTasks() const
{
    qint64 count = 0;
    for (const MFTask *task : m_tasks)
        count += task->isFinished() ? 0 : 1;
    return count;
}

void MFTaskQueue::terminateAllTasks()
{
    const QList<MFTask *> tasks = m_tasks;
    for (MFTask *task : tasks) {
        if (m_waitsForTaskCompletion)
            task->terminate();
        else
            task->invalidate();
    }
    m_staggerSeconds = 0;
}

void MFTaskQueue::observe(MFTask *task)
{
    m_observed.append(task);
    connect(task, &MFTask::isFinishedChanged, this,
            [this, task](bool isFinished) { taskFinishedChanged(task, isFinished); });
}

void MFTaskQueue::stopObserving(MFTask *task)
{
    m_observed.removeAll(task);
    disconnect(task, &MFTask::isFinishedChanged, this, nullptr);
}

void MFTaskQueue::taskFinishedChanged(MFTask *task, bool isFinished)
{
    if (!isFinished)
        return;
    stopObserving(task);
    // Removal and the next launch wait for the next turn of the event loop, so
    // the task finishes delivering its own messages first.
    QTimer::singleShot(0, this, [this, task] {
        m_tasks.removeAll(task);
        task->deleteLater();
    });
    if (!m_waitingForTimer)
        QTimer::singleShot(0, this, &MFTaskQueue::launchTasksIfNeeded);
}
