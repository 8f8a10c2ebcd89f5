#pragma once

// ProcessTask: the MFTask that runs a real child program (see MFTask.h for
// what callers may rely on). The child is started from a thread that waits
// for its end, in a process group led by a small guard process that ends
// the group when this process has gone.

#include "MFTask.h"

#include <sys/types.h>

#include <future>
#include <memory>
#include <thread>

class ProcessTask final : public MFTask
{
    Q_OBJECT
public:
    explicit ProcessTask(QObject *parent = nullptr);
    ~ProcessTask() override;

    qint64 processIdentifier() const override;
    TaskTermination termination() const override;
    QString terminationDescription() const override;
    bool isRunning() const override;
    void waitUntilExit() const override;
    bool launch() override;
    void terminate() override;
    void killProcessGroup() override;
    void invalidate() override;

    // What the child needs between its start and exec (plain pointers: the
    // child may only make async-signal-safe calls).
    struct ChildSetup
    {
        const char *path = nullptr;
        char **argv = nullptr;
        char **envp = nullptr;
        const char *directory = nullptr;
        int inputFd = -1;
        int outputFd = -1;
        int errorFd = -1;
        int inheritedFd = -1; // passed on as descriptor 3 (4 when it is 3)
        pid_t parentPid = 0;
        pid_t processGroup = 0; // the group the child joins (its guard's)
    };
    struct SpawnResult
    {
        pid_t pid = -1;
        int error = 0;
    };

private:
    struct Shared;

    void giveDataToDelegate(const QByteArray &data);
    void giveErrorDataToDelegate(const QByteArray &data);
    void performTaskDidTerminate();
    void startReaderThread(int fd, bool isErrorStream);
    // Starts the child from a new thread that then waits for its end.
    std::thread startTerminationWaiter(const ChildSetup &setup, std::promise<SpawnResult> started);
    // Builds the child's setup from the settings and starts it through the
    // termination waiter; the descriptors become its standard streams.
    SpawnResult spawnThroughWaiter(int inputFd, int outputFd, int errorFd);

    bool m_hasPerformedTerminate = false;
    bool m_hasBeenSentTerminate = false;
    std::shared_ptr<Shared> m_shared;
};
