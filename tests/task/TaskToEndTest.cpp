// Running a helper program to its end while the caller waits, and the one
// mapping from a wait status to how a program ended.
#include "TaskTestSupport.h"
#include "ProcessTask.h"
#include "TaskToEnd.h"

#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

TEST(TaskTermination, WaitStatusesMapToOneNumberAndOneDescription)
{
    const struct
    {
        int waitStatus;
        TaskTermination expected;
        int status;
        const char *description;
    } cases[] = {
        {W_EXITCODE(0, 0), TaskTermination::exited(0), 0, "exited with 0"},
        {W_EXITCODE(23, 0), TaskTermination::exited(23), 23, "exited with 23"},
        {W_EXITCODE(255, 0), TaskTermination::exited(255), 255, "exited with 255"},
        {W_EXITCODE(0, SIGKILL), TaskTermination::signalled(SIGKILL), 137, "killed by signal 9"},
        {W_EXITCODE(0, SIGTERM), TaskTermination::signalled(SIGTERM), 143, "killed by signal 15"},
        {W_EXITCODE(0, SIGSEGV) | 0x80, TaskTermination::signalled(SIGSEGV), 139, "killed by signal 11"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        const TaskTermination termination = TaskTermination::fromWaitStatus(c.waitStatus);
        EXPECT_EQ(termination, c.expected);
        EXPECT_EQ(termination.status(), c.status);
        EXPECT_EQ(termination.description(), QLatin1String(c.description));
        EXPECT_EQ(termination.succeeded(), c.status == 0);
    }
}

namespace {

MFTask *childTask(MFTask &task, const QStringList &arguments)
{
    task.setLaunchPath(taskChildPath());
    task.setArguments(arguments);
    return &task;
}

} // namespace

TEST(TaskToEnd, EveryByteOfBothStreamsArrivesBeforeTheCallReturns)
{
    ProcessTask task;
    QByteArray seen;
    const TaskToEndResult result = runTaskToEnd(*childTask(task, {QStringLiteral("burst"), QString::number(1 << 20)}),
                                                [&seen](const QByteArray &chunk) { seen += chunk; });
    ASSERT_TRUE(result.launched);
    EXPECT_FALSE(result.stoppedByCaller);
    EXPECT_EQ(result.termination, TaskTermination::exited(0));
    EXPECT_EQ(seen.size(), (1 << 20) + (1 << 20) / 16);
    EXPECT_EQ(task.thread(), QThread::currentThread()) << "the task comes back to its caller";
}

TEST(TaskToEnd, ExitStatusIsReported)
{
    ProcessTask task;
    const TaskToEndResult result = runTaskToEnd(*childTask(task, {QStringLiteral("status"), QStringLiteral("7")}));
    EXPECT_EQ(result.termination, TaskTermination::exited(7));
}

TEST(TaskToEnd, TheCallerStopsAChildThatWouldNeverEnd)
{
    ProcessTask task;
    int chunks = 0;
    const TaskToEndResult result = runTaskToEnd(
        *childTask(task, {QStringLiteral("forkhelper")}), [&chunks](const QByteArray &) { ++chunks; },
        [&chunks] { return chunks == 0; });
    ASSERT_TRUE(result.launched);
    EXPECT_TRUE(result.stoppedByCaller);
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(result.termination.kind, TaskTermination::Kind::Signalled);
}

TEST(TaskToEnd, AStopBeforeTheLaunchEndsTheChildAtOnce)
{
    ProcessTask task;
    const TaskToEndResult result = runTaskToEnd(*childTask(task, {QStringLiteral("sleep")}), {}, [] { return false; });
    EXPECT_TRUE(result.stoppedByCaller);
    EXPECT_EQ(result.termination.kind, TaskTermination::Kind::Signalled);
}

TEST(TaskToEnd, AMissingProgramIsReportedWithoutWaiting)
{
    ProcessTask task;
    task.setLaunchPath(QStringLiteral("/nonexistent/program"));
    const TaskToEndResult result = runTaskToEnd(task);
    EXPECT_FALSE(result.launched);
    EXPECT_TRUE(result.launchError.contains(QStringLiteral("/nonexistent/program")))
        << result.launchError.toStdString();
}

TEST(TaskToEnd, AStopReachesAChildThatWritesNothing)
{
    ProcessTask task;
    int asked = 0;
    const TaskToEndResult result
        = runTaskToEnd(*childTask(task, {QStringLiteral("sleep")}), {}, [&asked] { return ++asked < 3; });
    EXPECT_TRUE(result.stoppedByCaller);
    EXPECT_EQ(asked, 3) << "asked at the launch, then while the child was silent";
    EXPECT_EQ(result.termination.kind, TaskTermination::Kind::Signalled);
}
