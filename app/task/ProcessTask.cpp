#include "ProcessTask.h"

#include <QMetaObject>
#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// How long killProcessGroup() gives the group to end on SIGTERM (rsync
// removes its temporary file and keeps a partial one) before SIGKILL.
constexpr std::chrono::milliseconds killGrace{2000};

// Assertions of the task runner stay on in every build: a broken ordering
// promise must never pass silently. TASK_ASSERTION_FAILED names the line of
// the failed check.
[[noreturn]] void failAssertion(const char *file, int line, const char *text)
{
    qFatal("Assertion failure in MFTask, %s line %d: %s", file, line, text);
}
#define TASK_ASSERTION_FAILED(text) failAssertion(__FILE__, __LINE__, text)

void closeIfOpen(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Owns the C strings handed to the child.
class CStringVector
{
public:
    void append(const QString &text) { m_storage.push_back(text.toLocal8Bit()); }
    char **data()
    {
        m_pointers.clear();
        for (QByteArray &item : m_storage)
            m_pointers.push_back(item.data());
        m_pointers.push_back(nullptr);
        return m_pointers.data();
    }

private:
    std::vector<QByteArray> m_storage;
    std::vector<char *> m_pointers;
};

// The child's side of a launch, between vfork and exec: only async-signal-safe
// calls, and nothing that writes to memory the parent will read except the
// error pipe.
[[noreturn]] void failChild(int errorPipe)
{
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

[[noreturn]] void execChild(const ProcessTask::ChildSetup &setup, int errorPipe)
{
    const auto fail = [errorPipe] { failChild(errorPipe); };
    // Default handling for every signal; the mask is cleared last, once
    // nothing of ours can run a handler any more.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &action, nullptr);
    // The group its guard leads (see startGroupGuard), not ours: a Ctrl-C
    // in a terminal reaches us, not it.
    if (::setpgid(0, setup.processGroup) != 0)
        fail();
    if (::dup2(setup.inputFd, STDIN_FILENO) < 0 || ::dup2(setup.outputFd, STDOUT_FILENO) < 0
        || ::dup2(setup.errorFd, STDERR_FILENO) < 0)
        fail();
    // A duplicate under another number is open across exec whatever the
    // original's close-on-exec flag (the destination's lock travels so).
    if (setup.inheritedFd >= 0 && ::dup2(setup.inheritedFd, setup.inheritedFd == 3 ? 4 : 3) < 0)
        fail();
    if (setup.directory && ::chdir(setup.directory) != 0)
        fail();
    // The child ends with the process that started it; a parent that died
    // before this line is caught by the test after it.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
        fail();
    if (::getppid() != setup.parentPid)
        ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(setup.path, setup.argv, setup.envp);
    failChild(errorPipe);
}

// The guard of a child's process group, between fork and _exit: only
// async-signal-safe calls. It blocks on the watch pipe, whose write end only
// the front end holds; end of file there means the front end has ended,
// however it ended. Then the group goes: SIGTERM, up to half a second for
// the child to end, SIGKILL for whatever is left (the guard included). The
// front end stands it down with SIGKILL once the child has ended.
[[noreturn]] void runGroupGuard(int watchFd)
{
    // Nothing of ours stays open here: the readers of other tasks must see
    // end of file when their children end, and a destination's lock must
    // not be held by the guard.
    if (watchFd > 0)
        ::close_range(0, unsigned(watchFd) - 1, 0);
    ::close_range(unsigned(watchFd) + 1, ~0U, 0);
    ::setpgid(0, 0);
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &action, nullptr);
    // A stop sends SIGTERM to the whole group; the guard stays until its
    // pipe or the front end says otherwise.
    action.sa_handler = SIG_IGN;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    pid_t child = 0;
    ssize_t count = 0;
    while ((count = ::read(watchFd, &child, sizeof child)) < 0 && errno == EINTR) {}
    if (count != ssize_t(sizeof child))
        child = 0;
    char byte = 0;
    while (child > 0 && ((count = ::read(watchFd, &byte, 1)) > 0 || (count < 0 && errno == EINTR))) {}
    ::kill(0, SIGTERM);
    const struct timespec pause = {0, 10 * 1000 * 1000};
    for (int step = 0; step < 50 && child > 0 && ::kill(child, 0) == 0; ++step)
        ::nanosleep(&pause, nullptr);
    ::kill(0, SIGKILL);
    ::_exit(0);
}

// Starts the guard of a new process group (see runGroupGuard) and answers
// its pid, which is also the group's id, and the write end of its watch
// pipe (close-on-exec, so no child holds it); -1 and errno on failure.
//
// A parent-death signal alone is not enough: the exec of a set-user-ID
// program (the copy program with root rights) clears it, and such a child
// would copy on after a kill -9 of its front end until its next write to
// our pipes failed, which a long quiet stretch of a run can postpone.
pid_t startGroupGuard(int *watchWriteEnd)
{
    int watch[2] = {-1, -1};
    if (::pipe2(watch, O_CLOEXEC) != 0)
        return -1;
    // No handler of ours may run in the guard before it resets them.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0)
        runGroupGuard(watch[0]);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(watch[0]);
    if (pid < 0) {
        ::close(watch[1]);
        errno = forkError;
        return -1;
    }
    // Both sides set the group, so it exists before the child joins it.
    ::setpgid(pid, pid);
    *watchWriteEnd = watch[1];
    return pid;
}

// Ends and reaps a guard that is no longer needed.
void standDownGroupGuard(pid_t guard, int watchWriteEnd)
{
    ::kill(guard, SIGKILL);
    int status = 0;
    while (::waitpid(guard, &status, 0) < 0 && errno == EINTR) {}
    ::close(watchWriteEnd);
}

// Starts the child from the calling thread and reports its pid, or the errno
// of what failed before or at exec.
ProcessTask::SpawnResult spawnChild(const ProcessTask::ChildSetup &setup)
{
    ProcessTask::SpawnResult result;
    int errorPipe[2] = {-1, -1};
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        result.error = errno;
        return result;
    }
    // No handler of ours may run in the child while it shares our memory.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::vfork();
    if (pid == 0)
        execChild(setup, errorPipe[1]);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(errorPipe[1]);
    if (pid < 0) {
        ::close(errorPipe[0]);
        result.error = forkError;
        return result;
    }
    // vfork returns once the child has exec'd (the pipe closes on exec) or
    // has failed and written why.
    int childError = 0;
    ssize_t count = 0;
    while ((count = ::read(errorPipe[0], &childError, sizeof childError)) < 0 && errno == EINTR) {}
    ::close(errorPipe[0]);
    if (count > 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        result.error = childError != 0 ? childError : ECHILD;
        return result;
    }
    result.pid = pid;
    return result;
}

} // namespace

// State shared between the task object and its reader and waiter threads. The
// threads keep it alive, so a task destroyed early never leaves them dangling.
struct ProcessTask::Shared
{
    // Delivery to the owning thread; owner is cleared when the task dies.
    std::mutex ownerMutex;
    ProcessTask *owner = nullptr;

    template<typename Function>
    void postToOwner(Function &&function)
    {
        std::lock_guard guard(ownerMutex);
        if (owner) {
            ProcessTask *task = owner;
            QMetaObject::invokeMethod(
                task, [task, function = std::forward<Function>(function)] { function(task); }, Qt::QueuedConnection);
        }
    }

    // End-of-file counts of the two readers, each with its lock and condition.
    std::mutex readingDataLock;
    std::condition_variable readingDataSignal;
    qint64 readingDataCondition = 0;
    std::mutex readingErrorDataLock;
    std::condition_variable readingErrorDataSignal;
    qint64 readingErrorDataCondition = 0;

    // The child. hasExited is set under processMutex before the child is
    // reaped, so a signal sent under that mutex never reaches a reused pid.
    mutable std::mutex processMutex;
    mutable std::condition_variable exitedSignal;
    pid_t pid = -1;
    pid_t processGroup = -1; // led by the child's guard
    bool hasExited = false;
    bool killScheduled = false;
    int waitStatus = 0;
};

ProcessTask::ProcessTask(QObject *parent) : MFTask(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

ProcessTask::~ProcessTask()
{
    std::lock_guard guard(m_shared->ownerMutex);
    m_shared->owner = nullptr;
}

qint64 ProcessTask::processIdentifier() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->pid;
}

TaskTermination ProcessTask::termination() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->hasExited ? TaskTermination::fromWaitStatus(m_shared->waitStatus) : TaskTermination();
}

QString ProcessTask::terminationDescription() const
{
    {
        std::lock_guard guard(m_shared->processMutex);
        if (!m_shared->hasExited)
            return hasLaunched() ? QStringLiteral("running") : QStringLiteral("not started");
    }
    return termination().description();
}

bool ProcessTask::isRunning() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->pid > 0 && !m_shared->hasExited;
}

void ProcessTask::waitUntilExit() const
{
    std::unique_lock lock(m_shared->processMutex);
    if (m_shared->pid <= 0)
        return;
    m_shared->exitedSignal.wait(lock, [this] { return m_shared->hasExited; });
}

ProcessTask::SpawnResult ProcessTask::spawnThroughWaiter(int inputFd, int outputFd, int errorFd)
{
    CStringVector argv;
    argv.append(launchPath());
    const QStringList childArguments = arguments();
    for (const QString &argument : childArguments)
        argv.append(argument);
    CStringVector envp;
    const QHash<QString, QString> childEnvironment = environment();
    for (auto it = childEnvironment.cbegin(); it != childEnvironment.cend(); ++it)
        envp.append(it.key() + QLatin1Char('=') + it.value());
    const QByteArray path = launchPath().toLocal8Bit();
    const QByteArray directory = currentDirectoryPath().toLocal8Bit();

    ChildSetup setup;
    setup.path = path.constData();
    setup.argv = argv.data();
    setup.envp = childEnvironment.isEmpty() ? environ : envp.data();
    setup.directory = directory.isEmpty() ? nullptr : directory.constData();
    setup.inputFd = inputFd;
    setup.outputFd = outputFd;
    setup.errorFd = errorFd;
    setup.parentPid = ::getpid();
    setup.inheritedFd = inheritedDescriptor();

    // The child is started by the termination waiter, which lives until the
    // child has ended: the parent-death signal fires when the thread that
    // started the child exits, not only when this process does.
    std::promise<SpawnResult> started;
    std::future<SpawnResult> result = started.get_future();
    std::thread waiter = startTerminationWaiter(setup, std::move(started));
    const SpawnResult spawn = result.get();
    // A waiter whose child never started ends at once: it is joined, so a
    // failed launch leaves no thread behind.
    if (spawn.error != 0)
        waiter.join();
    else
        waiter.detach();
    return spawn;
}

bool ProcessTask::launch()
{
    if (m_hasPerformedTerminate || m_hasBeenSentTerminate)
        return false;
    if (!delegate())
        throw MFTaskException(QStringLiteral("**Exception: Attempt to launch MFTask without a delegate %1 %2")
                                  .arg(tag())
                                  .arg(isFinished() ? 1 : 0)
                                  .toStdString());
    if (hasLaunched())
        throw MFTaskException("**Exception: Attempt to relaunch an MFTask");

    int outputPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    int inputFd = -1;
    auto closeAll = [&] {
        closeIfOpen(outputPipe[0]);
        closeIfOpen(outputPipe[1]);
        closeIfOpen(errorPipe[0]);
        closeIfOpen(errorPipe[1]);
        closeIfOpen(inputFd);
    };

    if (::pipe2(outputPipe, O_CLOEXEC) != 0 || ::pipe2(errorPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        closeAll();
        throw MFTaskLaunchError(error, launchPath());
    }
    const QByteArray inputPath = standardInput().isEmpty() ? QByteArray("/dev/null") : standardInput().toLocal8Bit();
    inputFd = ::open(inputPath.constData(), O_RDONLY | O_CLOEXEC);
    if (inputFd < 0) {
        const int error = errno;
        closeAll();
        throw MFTaskLaunchError(error, standardInput());
    }

    const SpawnResult spawn = spawnThroughWaiter(inputFd, outputPipe[1], errorPipe[1]);
    const pid_t pid = spawn.pid;

    // Our copies of the child's ends go at once, so the readers see end of
    // file as soon as the child (and anything it started) closes them.
    closeIfOpen(outputPipe[1]);
    closeIfOpen(errorPipe[1]);
    closeIfOpen(inputFd);
    if (spawn.error != 0) {
        closeAll();
        throw MFTaskLaunchError(spawn.error, launchPath());
    }

    {
        std::lock_guard guard(m_shared->processMutex);
        m_shared->pid = pid;
    }
    startReaderThread(outputPipe[0], false);
    startReaderThread(errorPipe[0], true);

    setHasLaunched(true);
    if (MFTaskDelegateProtocol *listener = delegate())
        listener->taskDidLaunch(this);
    return true;
}

void ProcessTask::startReaderThread(int fd, bool isErrorStream)
{
    std::thread([shared = m_shared, fd, isErrorStream]() mutable {
        std::mutex &lock = isErrorStream ? shared->readingErrorDataLock : shared->readingDataLock;
        std::condition_variable &signal = isErrorStream ? shared->readingErrorDataSignal : shared->readingDataSignal;
        qint64 &endOfFileCount = isErrorStream ? shared->readingErrorDataCondition : shared->readingDataCondition;

        std::unique_lock guard(lock);
        if (fd < 0)
            TASK_ASSERTION_FAILED(isErrorStream ? "Task must have a standarderror handle"
                                                : "Task must have a standardoutput handle");
        // Each read returns whatever the pipe holds, so a chatty child gives
        // few large chunks and a quiet one small ones.
        constexpr qsizetype bufferSize = 256 * 1024;
        std::unique_ptr<char[]> buffer(new char[bufferSize]);
        for (;;) {
            const ssize_t count = ::read(fd, buffer.get(), bufferSize);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            QByteArray chunk(buffer.get(), qsizetype(count));
            if (isErrorStream)
                shared->postToOwner([chunk](ProcessTask *task) { task->giveErrorDataToDelegate(chunk); });
            else
                shared->postToOwner([chunk](ProcessTask *task) { task->giveDataToDelegate(chunk); });
        }
        ::close(fd);
        ++endOfFileCount;
        signal.notify_all();
    }).detach();
}

std::thread ProcessTask::startTerminationWaiter(const ChildSetup &childSetup, std::promise<SpawnResult> started)
{
    return std::thread([shared = m_shared, setup = childSetup, started = std::move(started)]() mutable {
        // A guard that has been killed with the group makes our write to
        // its pipe fail; that must not end this process.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

        int guardWatch = -1;
        const pid_t guardPid = startGroupGuard(&guardWatch);
        if (guardPid < 0) {
            started.set_value(SpawnResult{-1, errno});
            return;
        }
        setup.processGroup = guardPid;
        const SpawnResult spawn = spawnChild(setup);
        if (spawn.error != 0) {
            standDownGroupGuard(guardPid, guardWatch);
            started.set_value(spawn);
            return;
        }
        {
            std::lock_guard lock(shared->processMutex);
            shared->pid = spawn.pid;
            shared->processGroup = guardPid;
        }
        [[maybe_unused]] const ssize_t told = ::write(guardWatch, &spawn.pid, sizeof spawn.pid);
        started.set_value(spawn);
        // Wait for the end without reaping, mark it, then reap: the pid stays
        // ours until hasExited is visible to terminate(). The guard goes
        // first; its number stays the group's while the child's is not
        // reaped.
        siginfo_t info;
        while (::waitid(P_PID, id_t(spawn.pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {}
        standDownGroupGuard(guardPid, guardWatch);
        {
            std::lock_guard lock(shared->processMutex);
            int status = 0;
            while (::waitpid(spawn.pid, &status, 0) < 0 && errno == EINTR) {}
            shared->waitStatus = status;
            shared->hasExited = true;
        }
        shared->exitedSignal.notify_all();

        // Both readers queue their chunks before they count end of file, so
        // the termination step queued after both counts runs after every chunk.
        {
            std::unique_lock lock(shared->readingDataLock);
            shared->readingDataSignal.wait(lock, [&] { return shared->readingDataCondition >= 1; });
        }
        {
            std::unique_lock lock(shared->readingErrorDataLock);
            shared->readingErrorDataSignal.wait(lock, [&] { return shared->readingErrorDataCondition >= 1; });
        }
        shared->postToOwner([](ProcessTask *task) { task->performTaskDidTerminate(); });
    });
}

void ProcessTask::giveDataToDelegate(const QByteArray &data)
{
    if (MFTaskDelegateProtocol *listener = delegate())
        listener->taskDidRecieveData(data, this);
}

void ProcessTask::giveErrorDataToDelegate(const QByteArray &data)
{
    if (MFTaskDelegateProtocol *listener = delegate())
        listener->taskDidRecieveErrorData(data, this);
}

void ProcessTask::performTaskDidTerminate()
{
    if (m_hasPerformedTerminate)
        TASK_ASSERTION_FAILED("Attempt to terminate a task more than once");
    m_hasPerformedTerminate = true;
    setIsFinished(true);
    if (MFTaskDelegateProtocol *listener = delegate()) {
        listener->taskDidTerminate(this);
        setDelegate(nullptr);
    }
}

void ProcessTask::terminate()
{
    m_hasBeenSentTerminate = true;
    {
        std::lock_guard guard(m_shared->processMutex);
        if (m_shared->pid > 0 && !m_shared->hasExited) {
            ::kill(m_shared->pid, SIGTERM);
            return;
        }
    }
    if (!hasLaunched())
        setIsFinished(true);
}

void ProcessTask::killProcessGroup()
{
    {
        std::lock_guard guard(m_shared->processMutex);
        if (m_shared->pid <= 0 || m_shared->hasExited || m_shared->killScheduled)
            return;
        // The child and its helpers share the group its guard leads (the
        // guard ignores SIGTERM).
        ::kill(-m_shared->processGroup, SIGTERM);
        m_shared->killScheduled = true;
    }
    // What has not ended after the grace is killed. The child is not reaped
    // before hasExited is set under the mutex, so neither number can have
    // been reused when the signal goes.
    std::thread([shared = m_shared] {
        std::unique_lock lock(shared->processMutex);
        if (shared->exitedSignal.wait_for(lock, killGrace, [&] { return shared->hasExited; }))
            return;
        ::kill(-shared->processGroup, SIGKILL);
        ::kill(shared->pid, SIGKILL);
    }).detach();
}

void ProcessTask::invalidate()
{
    if (!m_hasBeenSentTerminate) {
        std::lock_guard guard(m_shared->processMutex);
        // The whole group, while its leader is known to be alive: once the
        // leader has gone, a later killProcessGroup() no longer may signal
        // its number, and helpers it started would be left running.
        if (m_shared->pid > 0 && !m_shared->hasExited) {
            ::kill(-m_shared->processGroup, SIGTERM);
            ::kill(m_shared->pid, SIGTERM);
        }
    }
    m_hasBeenSentTerminate = true;
    setIsFinished(true);
    MFTaskDelegateProtocol *listener = delegate();
    setDelegate(nullptr);
    if (listener)
        listener->taskDidRecieveInvalidate(this);
}
