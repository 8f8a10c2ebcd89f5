#include "MFTask.h"

#include <QMetaObject>
#include <QtGlobal>

#include <cerrno>
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

// Assertions of the task runner stay on in every build: a broken ordering
// promise must never pass silently.
[[noreturn]] void failAssertion(int line, const char *text)
{
    qFatal("Assertion failure in MFTask, line %d: %s", line, text);
}

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

[[noreturn]] void execChild(const MFTask::ChildSetup &setup, int errorPipe)
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
MFTask::SpawnResult spawnChild(const MFTask::ChildSetup &setup)
{
    MFTask::SpawnResult result;
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

MFTaskLaunchError::MFTaskLaunchError(int error, const QString &launchPath)
    : std::system_error(error, std::generic_category(), QStringLiteral("cannot start %1").arg(launchPath).toStdString())
    , m_launchPath(launchPath)
{}

// State shared between the task object and its reader and waiter threads. The
// threads keep it alive, so a task destroyed early never leaves them dangling.
struct MFTask::Shared
{
    // Delivery to the owning thread; owner is cleared when the task dies.
    std::mutex ownerMutex;
    MFTask *owner = nullptr;

    template<typename Function>
    void postToOwner(Function &&function)
    {
        std::lock_guard guard(ownerMutex);
        if (owner) {
            MFTask *task = owner;
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
    int waitStatus = 0;
};

MFTask::MFTask(QObject *parent) : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

MFTask::~MFTask()
{
    std::lock_guard guard(m_shared->ownerMutex);
    m_shared->owner = nullptr;
}

void MFTask::setDelegate(MFTaskDelegateProtocol *delegate)
{
    m_delegate = delegate;
}

void MFTask::setDelegateObject(QObject *object)
{
    if (!object) {
        m_delegate = nullptr;
        return;
    }
    auto *delegate = dynamic_cast<MFTaskDelegateProtocol *>(object);
    if (!delegate)
        throw MFTaskException("**Exception: MFTask cannot set delegate as the supplied object does not "
                              "conform to the MFTaskDelegateProtocol");
    m_delegate = delegate;
}

void MFTask::setIsFinished(bool finished)
{
    if (m_isFinished == finished)
        return;
    m_isFinished = finished;
    Q_EMIT isFinishedChanged(finished);
}

qint64 MFTask::processIdentifier() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->pid;
}

TaskTermination MFTask::termination() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->hasExited ? TaskTermination::fromWaitStatus(m_shared->waitStatus) : TaskTermination();
}

QString MFTask::terminationDescription() const
{
    {
        std::lock_guard guard(m_shared->processMutex);
        if (!m_shared->hasExited)
            return m_hasLaunched ? QStringLiteral("running") : QStringLiteral("not started");
    }
    return termination().description();
}

bool MFTask::isRunning() const
{
    std::lock_guard guard(m_shared->processMutex);
    return m_shared->pid > 0 && !m_shared->hasExited;
}

void MFTask::waitUntilExit() const
{
    std::unique_lock lock(m_shared->processMutex);
    if (m_shared->pid <= 0)
        return;
    m_shared->exitedSignal.wait(lock, [this] { return m_shared->hasExited; });
}

MFTask::SpawnResult MFTask::spawnThroughWaiter(int inputFd, int outputFd, int errorFd)
{
    CStringVector argv;
    argv.append(m_launchPath);
    for (const QString &argument : std::as_const(m_arguments))
        argv.append(argument);
    CStringVector envp;
    if (!m_environment.isEmpty()) {
        for (auto it = m_environment.cbegin(); it != m_environment.cend(); ++it)
            envp.append(it.key() + QLatin1Char('=') + it.value());
    }
    const QByteArray path = m_launchPath.toLocal8Bit();
    const QByteArray directory = m_currentDirectoryPath.toLocal8Bit();

    ChildSetup setup;
    setup.path = path.constData();
    setup.argv = argv.data();
    setup.envp = m_environment.isEmpty() ? environ : envp.data();
    setup.directory = directory.isEmpty() ? nullptr : directory.constData();
    setup.inputFd = inputFd;
    setup.outputFd = outputFd;
    setup.errorFd = errorFd;
    setup.parentPid = ::getpid();
    setup.inheritedFd = m_inheritedDescriptor;

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

bool MFTask::launch()
{
    if (m_hasPerformedTerminate || m_hasBeenSentTerminate)
        return false;
    if (!m_delegate)
        throw MFTaskException(QStringLiteral("**Exception: Attempt to launch MFTask without a delegate %1 %2")
                                  .arg(m_tag)
                                  .arg(m_isFinished ? 1 : 0)
                                  .toStdString());
    if (m_hasLaunched)
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
        throw MFTaskLaunchError(error, m_launchPath);
    }
    const QByteArray inputPath = m_standardInput.isEmpty() ? QByteArray("/dev/null") : m_standardInput.toLocal8Bit();
    inputFd = ::open(inputPath.constData(), O_RDONLY | O_CLOEXEC);
    if (inputFd < 0) {
        const int error = errno;
        closeAll();
        throw MFTaskLaunchError(error, m_standardInput);
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
        throw MFTaskLaunchError(spawn.error, m_launchPath);
    }

    {
        std::lock_guard guard(m_shared->processMutex);
        m_shared->pid = pid;
    }
    startReaderThread(outputPipe[0], false);
    startReaderThread(errorPipe[0], true);

    m_hasLaunched = true;
    if (m_delegate)
        m_delegate->taskDidLaunch(this);
    return true;
}

void MFTask::startReaderThread(int fd, bool isErrorStream)
{
    std::thread([shared = m_shared, fd, isErrorStream]() mutable {
        std::mutex &lock = isErrorStream ? shared->readingErrorDataLock : shared->readingDataLock;
        std::condition_variable &signal = isErrorStream ? shared->readingErrorDataSignal : shared->readingDataSignal;
        qint64 &endOfFileCount = isErrorStream ? shared->readingErrorDataCondition : shared->readingDataCondition;

        std::unique_lock guard(lock);
        if (fd < 0)
            failAssertion(isErrorStream ? 150 : 111,
                          isErrorStream ? " Task must have a standarderror handle"
                                        : " Task must have a standardoutput handle");
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
                shared->postToOwner([chunk](MFTask *task) { task->giveErrorDataToDelegate(chunk); });
            else
                shared->postToOwner([chunk](MFTask *task) { task->giveDataToDelegate(chunk); });
        }
        ::close(fd);
        ++endOfFileCount;
        signal.notify_all();
    }).detach();
}

std::thread MFTask::startTerminationWaiter(const ChildSetup &childSetup, std::promise<SpawnResult> started)
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
        shared->postToOwner([](MFTask *task) { task->performTaskDidTerminate(); });
    });
}

void MFTask::giveDataToDelegate(const QByteArray &data)
{
    if (m_delegate)
        m_delegate->taskDidRecieveData(data, this);
}

void MFTask::giveErrorDataToDelegate(const QByteArray &data)
{
    if (m_delegate)
        m_delegate->taskDidRecieveErrorData(data, this);
}

void MFTask::performTaskDidTerminate()
{
    if (m_hasPerformedTerminate)
        failAssertion(175, "Attempt to terminate a task more than once");
    m_hasPerformedTerminate = true;
    setIsFinished(true);
    if (m_delegate) {
        MFTaskDelegateProtocol *delegate = m_delegate;
        delegate->taskDidTerminate(this);
        m_delegate = nullptr;
    }
}

void MFTask::terminate()
{
    m_hasBeenSentTerminate = true;
    {
        std::lock_guard guard(m_shared->processMutex);
        if (m_shared->pid > 0 && !m_shared->hasExited) {
            ::kill(m_shared->pid, SIGTERM);
            return;
        }
    }
    if (!m_hasLaunched)
        setIsFinished(true);
}

void MFTask::killProcessGroup()
{
    std::lock_guard guard(m_shared->processMutex);
    if (m_shared->pid <= 0 || m_shared->hasExited)
        return;
    // The child and its helpers share the group its guard leads.
    ::kill(-m_shared->processGroup, SIGTERM);
    ::kill(-m_shared->processGroup, SIGKILL);
    ::kill(m_shared->pid, SIGKILL);
}

void MFTask::invalidate()
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
    MFTaskDelegateProtocol *delegate = m_delegate;
    m_delegate = nullptr;
    if (delegate)
        delegate->taskDidRecieveInvalidate(this);
}
