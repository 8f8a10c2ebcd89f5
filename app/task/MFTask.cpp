#include "MFTask.h"

#include <QMetaObject>
#include <QtGlobal>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <array>

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

// Owns the C strings handed to posix_spawn.
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

// Starts the child with the given standard input, output and error; answers
// 0 or the errno of the failure.
int spawnChild(const QString &launchPath, const QStringList &arguments, const QHash<QString, QString> &environment,
               const QString &currentDirectory, std::array<int, 3> standardFds, pid_t &pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, standardFds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, standardFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, standardFds[2], STDERR_FILENO);
    const QByteArray directory = currentDirectory.toLocal8Bit();
    if (!directory.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.constData());

    // The child starts with default signal handling, nothing blocked, and in
    // its own process group, so a Ctrl-C in a terminal reaches us, not it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    CStringVector argv;
    argv.append(launchPath);
    for (const QString &argument : arguments)
        argv.append(argument);
    CStringVector envp;
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        envp.append(it.key() + QLatin1Char('=') + it.value());

    const QByteArray path = launchPath.toLocal8Bit();
    const int error = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(),
                                    environment.isEmpty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error;
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

    pid_t pid = -1;
    const int spawnError = spawnChild(m_launchPath, m_arguments, m_environment, m_currentDirectoryPath,
                                      {inputFd, outputPipe[1], errorPipe[1]}, pid);

    // Our copies of the child's ends go at once, so the readers see end of
    // file as soon as the child (and anything it started) closes them.
    closeIfOpen(outputPipe[1]);
    closeIfOpen(errorPipe[1]);
    closeIfOpen(inputFd);
    if (spawnError != 0) {
        closeAll();
        throw MFTaskLaunchError(spawnError, m_launchPath);
    }

    {
        std::lock_guard guard(m_shared->processMutex);
        m_shared->pid = pid;
    }
    startReaderThread(outputPipe[0], false);
    startReaderThread(errorPipe[0], true);
    startTerminationWaiter();

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

void MFTask::startTerminationWaiter()
{
    std::thread([shared = m_shared] {
        // Wait for the end without reaping, mark it, then reap: the pid stays
        // ours until hasExited is visible to terminate().
        siginfo_t info;
        while (::waitid(P_PID, id_t(shared->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {}
        {
            std::lock_guard guard(shared->processMutex);
            int status = 0;
            while (::waitpid(shared->pid, &status, 0) < 0 && errno == EINTR) {}
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
    }).detach();
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
    // The child leads its own group (see launch), so -pid reaches its helpers.
    ::kill(-m_shared->pid, SIGTERM);
    ::kill(-m_shared->pid, SIGKILL);
    ::kill(m_shared->pid, SIGKILL);
}

void MFTask::invalidate()
{
    if (!m_hasBeenSentTerminate) {
        std::lock_guard guard(m_shared->processMutex);
        if (m_shared->pid > 0 && !m_shared->hasExited)
            ::kill(m_shared->pid, SIGTERM);
    }
    m_hasBeenSentTerminate = true;
    setIsFinished(true);
    MFTaskDelegateProtocol *delegate = m_delegate;
    m_delegate = nullptr;
    if (delegate)
        delegate->taskDidRecieveInvalidate(this);
}
