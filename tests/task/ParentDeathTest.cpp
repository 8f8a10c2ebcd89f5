// The copy program ends with the process that started it, and not with the
// thread that happened to launch it.
#include "TaskTestSupport.h"
#include "ProcessTask.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

// Waits for a child of this process (orphans are re-parented to us as a
// subreaper); the bound (10 s) only turns a hang into a failure.
bool waitForChild(pid_t pid, int *status)
{
    for (int attempt = 0; attempt < 5000; ++attempt) {
        const pid_t reaped = ::waitpid(pid, status, WNOHANG);
        if (reaped == pid)
            return true;
        if (reaped < 0 && errno != EINTR)
            return false;
        ::usleep(2000);
    }
    return false;
}

} // namespace

TEST(MFTaskParentDeath, TheChildOutlivesTheThreadThatLaunchedIt)
{
    QTemporaryDir directory;
    const QByteArray fifo = QFile::encodeName(directory.filePath(QStringLiteral("input")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Read and write: opening does not wait for a reader, and the child's
    // input stays open until we close it.
    const int writer = ::open(fifo.constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);

    ProcessTask task;
    RecordingDelegate delegate;
    task.setLaunchPath(taskChildPath());
    task.setArguments({QStringLiteral("env"), QStringLiteral("HOME")});
    task.setStandardInput(QString::fromLocal8Bit(fifo));
    task.setDelegate(&delegate);
    bool launched = false;
    std::thread launcher([&] { launched = task.launch(); });
    launcher.join();
    ASSERT_TRUE(launched);

    // The launching thread is gone; the child still answers.
    ASSERT_EQ(::write(writer, "ping\n", 5), 5);
    ::close(writer);
    ASSERT_TRUE(processEventsUntil([&] { return delegate.count(RecordingDelegate::Terminate) > 0; }));
    EXPECT_TRUE(delegate.output.endsWith("ping\n")) << delegate.output.constData();
    EXPECT_EQ(task.termination(), TaskTermination::exited(0));
}

namespace {

// Starts the test front end with a child of the given mode, kills the front
// end with SIGKILL and answers how the child ended (-1: it outlived it).
int childStatusAfterKillingItsFrontEnd(const char *mode)
{
    // Orphans come to this process, so the child can be waited for here.
    EXPECT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int output[2];
    EXPECT_EQ(::pipe2(output, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const QByteArray parentPath(ORPHAN_PARENT);
    const QByteArray childPath = QFile::encodeName(taskChildPath());
    char *argv[] = {const_cast<char *>(parentPath.constData()), const_cast<char *>(childPath.constData()),
                    const_cast<char *>(mode), nullptr};
    pid_t frontEnd = -1;
    EXPECT_EQ(::posix_spawn(&frontEnd, parentPath.constData(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);

    char buffer[32] = {};
    qsizetype length = 0;
    while (length < qsizetype(sizeof buffer) - 1) {
        const ssize_t count = ::read(output[0], buffer + length, 1);
        if (count <= 0 || buffer[length] == '\n')
            break;
        ++length;
    }
    ::close(output[0]);
    const pid_t child = pid_t(std::atoll(buffer));
    EXPECT_GT(child, 0);
    EXPECT_EQ(::kill(child, 0), 0); // running while its front end runs

    EXPECT_EQ(::kill(frontEnd, SIGKILL), 0);
    int status = 0;
    EXPECT_TRUE(waitForChild(frontEnd, &status));
    const bool ended = child > 0 && waitForChild(child, &status);
    if (!ended && child > 0)
        ::kill(child, SIGKILL);
    // The guard the front end started comes here too.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {}
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    return ended ? status : -1;
}

} // namespace

TEST(MFTaskParentDeath, AKilledFrontEndTakesItsChildWithIt)
{
    const int status = childStatusAfterKillingItsFrontEnd("sleep");
    ASSERT_NE(status, -1) << "the child outlived its front end";
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

// A child without the parent-death signal (a set-user-ID copy program) goes
// too: asked to end, and killed when it does not.
TEST(MFTaskParentDeath, AKilledFrontEndTakesAChildWithoutParentDeathSignal)
{
    const struct
    {
        const char *mode;
        int endingSignal;
    } cases[] = {{"unguarded", SIGTERM}, {"stubborn", SIGKILL}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.mode);
        const int status = childStatusAfterKillingItsFrontEnd(test.mode);
        ASSERT_NE(status, -1) << "the child outlived its front end";
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), test.endingSignal);
    }
}
