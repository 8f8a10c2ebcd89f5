// The promises of MFTask that the engine relies on, held by the real task
// (a child program) and by the replaying task the controller's tests use,
// so the fake cannot drift from what it stands for.
#include "ReplayingTask.h"
#include "ProcessTask.h"
#include "TaskTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// One kind of task: how to make one that writes `output` and exits with
// `code`, one that never ends on its own, and one whose program is missing.
struct TaskKind
{
    const char *name;
    std::function<std::unique_ptr<MFTask>(const QByteArray &output, int code)> writes;
    std::function<std::unique_ptr<MFTask>()> runsForever;
    std::function<std::unique_ptr<MFTask>()> missing;
};

class TaskContract : public ::testing::TestWithParam<TaskKind>
{
protected:
    RecordingDelegate delegate;
    bool runUntilTerminate(MFTask &)
    {
        return processEventsUntil([&] { return delegate.count(RecordingDelegate::Terminate) > 0; });
    }
};

std::unique_ptr<MFTask> childTask(const QStringList &arguments)
{
    auto task = std::make_unique<ProcessTask>();
    task->setLaunchPath(taskChildPath());
    task->setArguments(arguments);
    return task;
}

const ReplayingTaskFactory &replays()
{
    // The script is named by the launch path: "writes CODE" or "forever".
    static const ReplayingTaskFactory factory([](const QString &program, const QStringList &arguments) {
        TaskScript script;
        if (program == u"forever")
            script.stalls = true;
        else if (program == u"missing")
            script.failsToLaunch = true;
        else
            script.output(arguments.value(0).toUtf8()).termination
                = TaskTermination::exited(arguments.value(1).toInt());
        return script;
    });
    return factory;
}

std::unique_ptr<MFTask> replayTask(const QString &program, const QStringList &arguments = {})
{
    std::unique_ptr<MFTask> task = replays().makeTask();
    task->setLaunchPath(program);
    task->setArguments(arguments);
    return task;
}

const TaskKind kinds[] = {
    {"real",
     [](const QByteArray &output, int code) {
         // The "split" child writes a fixed text; "status" only exits.
         return output.isEmpty() ? childTask({QStringLiteral("status"), QString::number(code)})
                                 : childTask({QStringLiteral("split")});
     },
     [] { return childTask({QStringLiteral("sleep")}); },
     [] {
         auto task = std::make_unique<ProcessTask>();
         task->setLaunchPath(QStringLiteral("/nonexistent/program"));
         return task;
     }},
    {"replaying",
     [](const QByteArray &output, int code) {
         return replayTask(QStringLiteral("writes"), {QString::fromUtf8(output), QString::number(code)});
     },
     [] { return replayTask(QStringLiteral("forever")); }, [] { return replayTask(QStringLiteral("missing")); }},
};

TEST_P(TaskContract, EveryChunkArrivesBeforeExactlyOneTerminate)
{
    const std::unique_ptr<MFTask> task = GetParam().writes("first half and\nsecond line\n", 0);
    task->setDelegate(&delegate);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(runUntilTerminate(*task));
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.output, QByteArray("first half and\nsecond line\n"));
    EXPECT_EQ(delegate.events.front().kind, RecordingDelegate::Launch);
    EXPECT_EQ(delegate.events.back().kind, RecordingDelegate::Terminate);
    EXPECT_EQ(delegate.count(RecordingDelegate::Terminate), 1);
    EXPECT_TRUE(task->isFinished());
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->delegate(), nullptr);
}

TEST_P(TaskContract, TheExitCodeIsReported)
{
    const std::unique_ptr<MFTask> task = GetParam().writes({}, 23);
    task->setDelegate(&delegate);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(runUntilTerminate(*task));
    EXPECT_EQ(task->termination(), TaskTermination::exited(23));
    EXPECT_EQ(task->terminationStatus(), 23);
    EXPECT_EQ(task->terminationDescription(), QStringLiteral("exited with 23"));
}

TEST_P(TaskContract, KillingTheGroupEndsAProgramThatWouldNeverEnd)
{
    const std::unique_ptr<MFTask> task = GetParam().runsForever();
    task->setDelegate(&delegate);
    ASSERT_TRUE(task->launch());
    EXPECT_TRUE(task->isRunning());
    task->killProcessGroup();
    ASSERT_TRUE(runUntilTerminate(*task));
    EXPECT_EQ(task->termination().kind, TaskTermination::Kind::Signalled);
    EXPECT_FALSE(task->isRunning());
}

TEST_P(TaskContract, InvalidateSendsOneInvalidateAndNoTerminate)
{
    const std::unique_ptr<MFTask> task = GetParam().runsForever();
    task->setDelegate(&delegate);
    ASSERT_TRUE(task->launch());
    task->invalidate();
    processEventsUntil([&] { return !task->isRunning(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.count(RecordingDelegate::Invalidate), 1);
    EXPECT_EQ(delegate.count(RecordingDelegate::Terminate), 0);
    EXPECT_TRUE(task->isFinished());
}

TEST_P(TaskContract, LaunchAfterTerminateAnswersNoAndAMissingProgramThrows)
{
    const std::unique_ptr<MFTask> task = GetParam().writes({}, 0);
    task->setDelegate(&delegate);
    task->terminate();
    EXPECT_FALSE(task->launch());
    EXPECT_TRUE(delegate.events.empty());

    const std::unique_ptr<MFTask> missing = GetParam().missing();
    missing->setDelegate(&delegate);
    EXPECT_THROW(missing->launch(), MFTaskLaunchError);
    EXPECT_FALSE(missing->isRunning());
}

INSTANTIATE_TEST_SUITE_P(RealAndReplaying, TaskContract, ::testing::ValuesIn(kinds),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
