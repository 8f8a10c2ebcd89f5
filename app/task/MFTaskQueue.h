#pragma once

// MFTaskQueue launches the tasks added to it, at most maxConcurrentTaskCount
// at once, with staggerSeconds between two launches, and starts the next
// waiting task when a running one finishes. Used from the main thread only.

#include "MFTask.h"

#include <QList>
#include <QObject>
#include <QPointer>

class MFTaskQueue : public QObject
{
    Q_OBJECT
public:
    explicit MFTaskQueue(QObject *parent = nullptr);
    ~MFTaskQueue() override;

    // The queue takes ownership of the task.
    void addTask(MFTask *task);
    void launchTasksIfNeeded();
    qint64 numRunning() const;
    qint64 remainingTasks() const;
    // Ends every task: terminate() when waitsForTaskCompletion (each still
    // delivers its termination message), invalidate() otherwise; then the
    // stagger becomes 0.
    void terminateAllTasks();

    QList<MFTask *> tasks() const { return m_tasks; }
    qint64 maxConcurrentTaskCount() const { return m_maxConcurrentTaskCount; }
    void setMaxConcurrentTaskCount(qint64 count) { m_maxConcurrentTaskCount = count; }
    double staggerSeconds() const { return m_staggerSeconds; }
    void setStaggerSeconds(double seconds) { m_staggerSeconds = seconds; }
    bool waitsForTaskCompletion() const { return m_waitsForTaskCompletion; }
    void setWaitsForTaskCompletion(bool waits) { m_waitsForTaskCompletion = waits; }
    bool isWaitingForTimer() const { return m_waitingForTimer; }

private:
    void observe(MFTask *task);
    void stopObserving(MFTask *task);
    void taskFinishedChanged(MFTask *task, bool isFinished);

    QList<MFTask *> m_tasks;
    QList<MFTask *> m_observed;
    qint64 m_maxConcurrentTaskCount = 1;
    bool m_waitingForTimer = false;
    double m_staggerSeconds = 5.0;
    bool m_waitsForTaskCompletion = false;
};
