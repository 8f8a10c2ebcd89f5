#include "TaskTestSupport.h"
#include "ProcessTask.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int countEntries(const char *path)
{
    return int(QDir(QString::fromLatin1(path)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 23);
    return bytes;
}

struct TaskRun
{
    ProcessTask task;
    RecordingDelegate delegate;

    explicit TaskRun(const QStringList &arguments)
    {
        task.setLaunchPath(taskChildPath());
        task.setArguments(arguments);
        task.setDelegate(&delegate);
    }
    bool launchAndWaitForTerminate()
    {
        if (!task.launch())
            return false;
        return processEventsUntil([this] { return delegate.count(RecordingDelegate::Terminate) > 0; });
    }
};

} // namespace

TEST(MFTask, BurstArrivesWholeAndInOrderBeforeTerminate)
{
    constexpr qsizetype size = 48 * 1024 * 1024;
    TaskRun run({QStringLiteral("burst"), QString::number(size)});
    ASSERT_TRUE(run.launchAndWaitForTerminate());

    EXPECT_EQ(run.delegate.output.size(), size);
    EXPECT_TRUE(run.delegate.output == pattern(size));
    EXPECT_TRUE(run.delegate.error == pattern(size / 16));
    ASSERT_FALSE(run.delegate.events.empty());
    EXPECT_EQ(run.delegate.events.front().kind, RecordingDelegate::Launch);
    EXPECT_EQ(run.delegate.events.back().kind, RecordingDelegate::Terminate);
    EXPECT_EQ(run.delegate.count(RecordingDelegate::Terminate), 1);
    EXPECT_TRUE(run.task.isFinished());
    EXPECT_EQ(run.task.delegate(), nullptr);
}

TEST(MFTask, SilentChildGivesLaunchThenExactlyOneTerminate)
{
    TaskRun run({QStringLiteral("silent")});
    ASSERT_TRUE(run.launchAndWaitForTerminate());
    // Let anything wrongly queued after the terminate show up.
    QCoreApplication::processEvents();
    ASSERT_EQ(run.delegate.events.size(), 2u);
    EXPECT_EQ(run.delegate.events[0].kind, RecordingDelegate::Launch);
    EXPECT_EQ(run.delegate.events[1].kind, RecordingDelegate::Terminate);
}

TEST(MFTask, LinesSplitAcrossChunksAreDeliveredByteForByte)
{
    TaskRun run({QStringLiteral("split")});
    ASSERT_TRUE(run.launchAndWaitForTerminate());
    EXPECT_EQ(run.delegate.output, QByteArray("first half and\nsecond line\n"));
    EXPECT_GE(run.delegate.count(RecordingDelegate::Data), 2);
}

TEST(MFTask, TerminationIsDescribedByOnePlace)
{
    struct Case
    {
        QStringList arguments;
        int status;
        const char *description;
    };
    const Case cases[] = {
        {{QStringLiteral("status"), QStringLiteral("0")}, 0, "exited with 0"},
        {{QStringLiteral("status"), QStringLiteral("23")}, 23, "exited with 23"},
        {{QStringLiteral("killself")}, 128 + SIGKILL, "killed by signal 9"},
    };
    for (const Case &testCase : cases) {
        SCOPED_TRACE(testCase.description);
        TaskRun run(testCase.arguments);
        ASSERT_TRUE(run.launchAndWaitForTerminate());
        EXPECT_EQ(run.task.terminationStatus(), testCase.status);
        EXPECT_EQ(run.task.terminationDescription(), QLatin1String(testCase.description));
        EXPECT_FALSE(run.task.isRunning());
    }
}

TEST(MFTask, EnvironmentWorkingDirectoryAndStandardInputReachTheChild)
{
    QTemporaryDir directory;
    QTemporaryFile input;
    ASSERT_TRUE(input.open());
    input.write("from stdin");
    input.close();

    TaskRun run({QStringLiteral("env"), QStringLiteral("VELLUMOR_PROBE")});
    run.task.setEnvironment({{QStringLiteral("VELLUMOR_PROBE"), QStringLiteral("a value")}});
    run.task.setCurrentDirectoryPath(directory.path());
    run.task.setStandardInput(input.fileName());
    ASSERT_TRUE(run.launchAndWaitForTerminate());
    EXPECT_EQ(QString::fromUtf8(run.delegate.output),
              QStringLiteral("a value\n") + QDir(directory.path()).canonicalPath() + QStringLiteral("\nfrom stdin"));
}

TEST(MFTask, StandardInputDefaultsToDevNull)
{
    TaskRun run({QStringLiteral("env"), QStringLiteral("HOME")});
    ASSERT_TRUE(run.launchAndWaitForTerminate());
    EXPECT_TRUE(run.delegate.output.endsWith('\n')); // returned: stdin was at end of file at once
}

TEST(MFTask, SecondLaunchRaises)
{
    TaskRun run({QStringLiteral("silent")});
    ASSERT_TRUE(run.task.launch());
    try {
        run.task.launch();
        FAIL() << "relaunch did not raise";
    } catch (const MFTaskException &exception) {
        EXPECT_STREQ(exception.what(), "**Exception: Attempt to relaunch an MFTask");
    }
    ASSERT_TRUE(processEventsUntil([&] { return run.task.isFinished(); }));
}

TEST(MFTask, LaunchWithoutDelegateRaisesWithTagAndFinishedFlag)
{
    ProcessTask task;
    task.setTag(QStringLiteral("copy"));
    task.setLaunchPath(taskChildPath());
    try {
        task.launch();
        FAIL() << "launch without delegate did not raise";
    } catch (const MFTaskException &exception) {
        EXPECT_STREQ(exception.what(), "**Exception: Attempt to launch MFTask without a delegate copy 0");
    }
    EXPECT_FALSE(task.hasLaunched());
}

TEST(MFTask, TerminateBeforeLaunchFinishesSilentlyAndLaunchThenAnswersNo)
{
    TaskRun run({QStringLiteral("silent")});
    run.task.terminate();
    EXPECT_TRUE(run.task.isFinished());
    EXPECT_FALSE(run.task.launch());
    QCoreApplication::processEvents();
    EXPECT_TRUE(run.delegate.events.empty());
    EXPECT_FALSE(run.task.hasLaunched());
}

TEST(MFTask, LaunchAfterTerminateOfARunningChildAnswersNo)
{
    TaskRun run({QStringLiteral("sleep")});
    ASSERT_TRUE(run.task.launch());
    run.task.terminate();
    ASSERT_TRUE(processEventsUntil([&] { return run.delegate.count(RecordingDelegate::Terminate) == 1; }));
    EXPECT_EQ(run.task.terminationDescription(), QStringLiteral("killed by signal 15"));
    EXPECT_FALSE(run.task.launch());
}

TEST(MFTask, InvalidateWhileRunningSendsOneInvalidateAndNoTerminate)
{
    TaskRun run({QStringLiteral("sleep")});
    ASSERT_TRUE(run.task.launch());
    run.task.invalidate();
    run.task.waitUntilExit();
    // The child's end still runs the termination steps; nobody may hear them.
    ASSERT_TRUE(processEventsUntil([&] { return !run.task.isRunning(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(run.delegate.count(RecordingDelegate::Invalidate), 1);
    EXPECT_EQ(run.delegate.count(RecordingDelegate::Terminate), 0);
    EXPECT_TRUE(run.task.isFinished());
    EXPECT_EQ(run.task.terminationDescription(), QStringLiteral("killed by signal 15"));
}

TEST(MFTask, DelegateMustImplementTheProtocol)
{
    struct NotADelegate : QObject
    {};
    struct ObjectDelegate : QObject, RecordingDelegate
    {};
    ProcessTask task;
    ObjectDelegate good;
    NotADelegate bad;
    task.setDelegateObject(&good);
    try {
        task.setDelegateObject(&bad);
        FAIL() << "a non-conforming delegate was accepted";
    } catch (const MFTaskException &exception) {
        EXPECT_STREQ(exception.what(),
                     "**Exception: MFTask cannot set delegate as the supplied object does not "
                     "conform to the MFTaskDelegateProtocol");
    }
    EXPECT_EQ(task.delegate(), static_cast<MFTaskDelegateProtocol *>(&good));
    task.setDelegateObject(nullptr);
    EXPECT_EQ(task.delegate(), nullptr);
}

TEST(MFTask, MissingProgramFailsLaunchWithoutLeakingThreadsOrDescriptors)
{
    const int descriptorsBefore = countEntries("/proc/self/fd");
    const int threadsBefore = countEntries("/proc/self/task");
    {
        RecordingDelegate delegate;
        ProcessTask task;
        task.setDelegate(&delegate);
        task.setLaunchPath(QStringLiteral("/nonexistent/vellumor-no-such-program"));
        try {
            task.launch();
            FAIL() << "launching a missing program did not fail";
        } catch (const MFTaskLaunchError &error) {
            EXPECT_EQ(error.code().value(), ENOENT);
            EXPECT_EQ(error.launchPath(), QStringLiteral("/nonexistent/vellumor-no-such-program"));
        }
        EXPECT_FALSE(task.hasLaunched());
        EXPECT_FALSE(task.isRunning());
        EXPECT_TRUE(delegate.events.empty());
    }
    // Reader threads of earlier tests' killed children may still be closing
    // their pipes: a leak shows as more, never as fewer.
    processEventsUntil([&] {
        return countEntries("/proc/self/fd") <= descriptorsBefore && countEntries("/proc/self/task") <= threadsBefore;
    });
    EXPECT_LE(countEntries("/proc/self/fd"), descriptorsBefore);
    EXPECT_LE(countEntries("/proc/self/task"), threadsBefore);
}

TEST(MFTask, FinishedTaskLeavesNoDescriptorsOpen)
{
    const int descriptorsBefore = countEntries("/proc/self/fd");
    {
        TaskRun run({QStringLiteral("burst"), QStringLiteral("1000")});
        ASSERT_TRUE(run.launchAndWaitForTerminate());
    }
    processEventsUntil([&] { return countEntries("/proc/self/fd") <= descriptorsBefore; });
    EXPECT_LE(countEntries("/proc/self/fd"), descriptorsBefore);
}

TEST(MFTask, DestroyedWhileChildRunsDeliversNothingAndReapsTheChild)
{
    RecordingDelegate delegate;
    qint64 pid = 0;
    {
        ProcessTask task;
        task.setDelegate(&delegate);
        task.setLaunchPath(taskChildPath());
        task.setArguments({QStringLiteral("burst"), QStringLiteral("100000")});
        ASSERT_TRUE(task.launch());
        pid = task.processIdentifier();
    }
    // The waiter reaps the child even though its task is gone.
    ASSERT_TRUE(processEventsUntil([&] { return ::kill(pid_t(pid), 0) != 0; }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(delegate.count(RecordingDelegate::Terminate), 0);
}

// A close-on-exec descriptor given to the task is open in the child (as its
// descriptor 3); without it the child sees nothing there.
TEST(MFTask, AnInheritedDescriptorIsOpenInTheChildAndNothingElseIs)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (const bool inherit : {true, false}) {
        SCOPED_TRACE(inherit);
        ProcessTask task;
        RecordingDelegate delegate;
        task.setLaunchPath(QStringLiteral("/bin/readlink"));
        task.setArguments({QStringLiteral("/proc/self/fd/3")});
        task.setDelegate(&delegate);
        if (inherit)
            task.setInheritedDescriptor(fd);
        ASSERT_TRUE(task.launch());
        ASSERT_TRUE(processEventsUntil([&] { return delegate.count(RecordingDelegate::Terminate) > 0; }));
        EXPECT_EQ(delegate.output.trimmed() == QFile::encodeName(file.fileName()), inherit)
            << delegate.output.constData();
    }
    ::close(fd);
}

TEST(MFTask, KillingTheProcessGroupEndsTheHelpersTheChildStarted)
{
    TaskRun run({QStringLiteral("forkhelper")});
    ASSERT_TRUE(run.task.launch());
    ASSERT_TRUE(processEventsUntil([&] { return run.delegate.output.endsWith('\n'); }));
    run.task.killProcessGroup();
    // The end is reported only once every writer of the pipe is gone,
    // the helper included.
    ASSERT_TRUE(processEventsUntil([&] { return run.delegate.count(RecordingDelegate::Terminate) > 0; }));
    EXPECT_EQ(run.task.termination().kind, TaskTermination::Kind::Signalled);
    EXPECT_FALSE(run.task.isRunning());
    run.task.killProcessGroup(); // after the end: nothing, and no stray signal
}

TEST(MFTask, KillingTheProcessGroupAsksFirstAndKillsWhatIsLeftAfterTheGrace)
{
    const struct
    {
        const char *mode;
        int endedBy;
        bool saysReady;
    } cases[] = {{"sleep", SIGTERM, false}, {"stubborn", SIGKILL, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        TaskRun run({QString::fromLatin1(c.mode)});
        ASSERT_TRUE(run.task.launch());
        if (c.saysReady) {
            ASSERT_TRUE(processEventsUntil([&] { return run.delegate.output.startsWith("ready"); }));
        }
        run.task.killProcessGroup();
        ASSERT_TRUE(processEventsUntil([&] { return run.delegate.count(RecordingDelegate::Terminate) > 0; }));
        EXPECT_EQ(run.task.termination(), TaskTermination::signalled(c.endedBy));
    }
}
