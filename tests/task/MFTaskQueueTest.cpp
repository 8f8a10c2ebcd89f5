#include "MFTaskQueue.h"
#include "ProcessTask.h"
#include "TaskTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Records the order in which the queue's tasks launch and finish.
class QueueJournal
{
public:
    class Delegate : public RecordingDelegate
    {
    public:
        Delegate(QueueJournal *journal, QString name) : m_journal(journal), m_name(std::move(name)) {}
        void taskDidLaunch(MFTask *task) override
        {
            RecordingDelegate::taskDidLaunch(task);
            m_journal->entries << QStringLiteral("launch ") + m_name;
        }
        void taskDidTerminate(MFTask *task) override
        {
            RecordingDelegate::taskDidTerminate(task);
            m_journal->entries << QStringLiteral("end ") + m_name;
        }

    private:
        QueueJournal *m_journal;
        QString m_name;
    };

    MFTask *makeTask(const QString &name, const QStringList &arguments = {QStringLiteral("silent")})
    {
        auto *task = new ProcessTask;
        delegates.push_back(std::make_unique<Delegate>(this, name));
        task->setDelegate(delegates.back().get());
        task->setLaunchPath(taskChildPath());
        task->setArguments(arguments);
        return task;
    }

    QStringList entries;
    std::vector<std::unique_ptr<Delegate>> delegates;
};

} // namespace

TEST(MFTaskQueue, DefaultLimitRunsOneTaskAfterAnother)
{
    QueueJournal journal;
    MFTaskQueue queue;
    queue.setStaggerSeconds(0.01);
    for (const char *name : {"a", "b", "c"})
        queue.addTask(journal.makeTask(QLatin1String(name)));
    EXPECT_EQ(journal.entries, QStringList{QStringLiteral("launch a")});
    ASSERT_TRUE(processEventsUntil([&] { return journal.entries.size() == 6 && queue.tasks().isEmpty(); }));
    EXPECT_EQ(journal.entries,
              (QStringList{QStringLiteral("launch a"), QStringLiteral("end a"), QStringLiteral("launch b"),
                           QStringLiteral("end b"), QStringLiteral("launch c"), QStringLiteral("end c")}));
    EXPECT_EQ(queue.remainingTasks(), 0);
}

TEST(MFTaskQueue, FreeSlotsLaunchOneTaskPerStagger)
{
    QueueJournal journal;
    MFTaskQueue queue;
    queue.setMaxConcurrentTaskCount(3);
    queue.setStaggerSeconds(0.05);
    const QStringList sleeper{QStringLiteral("sleep")};
    for (const char *name : {"a", "b", "c"})
        queue.addTask(journal.makeTask(QLatin1String(name), sleeper));
    // Only the first starts at once; the others wait for the stagger timer.
    EXPECT_EQ(journal.entries, QStringList{QStringLiteral("launch a")});
    EXPECT_TRUE(queue.isWaitingForTimer());
    ASSERT_TRUE(processEventsUntil([&] { return queue.numRunning() == 3; }));
    EXPECT_EQ(journal.entries,
              (QStringList{QStringLiteral("launch a"), QStringLiteral("launch b"), QStringLiteral("launch c")}));
    queue.setWaitsForTaskCompletion(true);
    queue.terminateAllTasks();
    ASSERT_TRUE(processEventsUntil([&] { return queue.tasks().isEmpty(); }));
    EXPECT_EQ(journal.entries.filter(QStringLiteral("end ")).size(), 3);
}

TEST(MFTaskQueue, TaskThatAnswersNoStaysAndIsNotObserved)
{
    QueueJournal journal;
    MFTaskQueue queue;
    MFTask *refused = journal.makeTask(QStringLiteral("refused"));
    refused->terminate(); // launch now answers NO
    queue.addTask(refused);
    MFTask *next = journal.makeTask(QStringLiteral("next"));
    queue.addTask(next);
    ASSERT_TRUE(processEventsUntil([&] { return journal.entries.contains(QStringLiteral("end next")); }));
    ASSERT_TRUE(processEventsUntil([&] { return queue.tasks().size() == 1; }));
    EXPECT_EQ(queue.tasks().front(), refused);
    EXPECT_FALSE(refused->hasLaunched());
}

TEST(MFTaskQueue, TerminateAllWithoutWaitingInvalidatesAndZeroesTheStagger)
{
    QueueJournal journal;
    MFTaskQueue queue;
    queue.addTask(journal.makeTask(QStringLiteral("a"), {QStringLiteral("sleep")}));
    queue.terminateAllTasks();
    EXPECT_EQ(queue.staggerSeconds(), 0.0);
    EXPECT_EQ(journal.delegates.front()->count(RecordingDelegate::Invalidate), 1);
    ASSERT_TRUE(processEventsUntil([&] { return queue.numRunning() == 0 && queue.tasks().isEmpty(); }));
    EXPECT_EQ(journal.delegates.front()->count(RecordingDelegate::Terminate), 0);

    // With no stagger, tasks added later launch one after another at once.
    queue.setMaxConcurrentTaskCount(2);
    queue.addTask(journal.makeTask(QStringLiteral("b")));
    queue.addTask(journal.makeTask(QStringLiteral("c")));
    ASSERT_TRUE(processEventsUntil([&] { return journal.entries.filter(QStringLiteral("end ")).size() == 2; }));
}
