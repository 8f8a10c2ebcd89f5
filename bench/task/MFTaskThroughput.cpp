// Throughput of MFTask's delivery path against a plain read(2) loop over the
// pipe of the same child program, measured in the same run.
//
// Usage: bench_task_throughput [MiB]   (default 1024)
#include "MFTask.h"
#include "ProcessTask.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QStringList childArguments(qint64 bytes)
{
    return {QStringLiteral("-c"), QString::number(bytes), QStringLiteral("/dev/zero")};
}

double plainReadLoop(qint64 bytes, qint64 *received)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const QByteArray count = QByteArray::number(bytes);
    char *argv[] = {const_cast<char *>("/usr/bin/head"), const_cast<char *>("-c"), const_cast<char *>(count.data()),
                    const_cast<char *>("/dev/zero"), nullptr};
    QElapsedTimer timer;
    timer.start();
    pid_t pid;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::vector<char> buffer(256 * 1024);
    ssize_t n;
    *received = 0;
    while ((n = read(fds[0], buffer.data(), buffer.size())) > 0)
        *received += n;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return timer.nsecsElapsed() / 1e9;
}

class CountingDelegate : public MFTaskDelegateProtocol
{
public:
    void taskDidRecieveData(const QByteArray &data, MFTask *) override { bytes += data.size(); }
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *) override { bytes += data.size(); }
    void taskDidTerminate(MFTask *) override { loop.quit(); }
    void taskDidRecieveInvalidate(MFTask *) override {}
    void taskDidLaunch(MFTask *) override {}
    qint64 bytes = 0;
    QEventLoop loop;
};

double throughMFTask(qint64 bytes, qint64 *received)
{
    CountingDelegate delegate;
    ProcessTask task;
    task.setDelegate(&delegate);
    task.setLaunchPath(QStringLiteral("/usr/bin/head"));
    task.setArguments(childArguments(bytes));
    QElapsedTimer timer;
    timer.start();
    task.launch();
    delegate.loop.exec();
    *received = delegate.bytes;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 bytes = mebibytes * 1024 * 1024;
    qint64 plainBytes = 0, taskBytes = 0;
    // Alternate the two and keep the best of three, so a noisy neighbour on
    // the machine hurts neither side more than the other.
    double plainBest = 1e9, taskBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        plainBest = std::min(plainBest, plainReadLoop(bytes, &plainBytes));
        taskBest = std::min(taskBest, throughMFTask(bytes, &taskBytes));
    }
    if (plainBytes != bytes || taskBytes != bytes) {
        std::fprintf(stderr, "byte counts differ: plain %lld, MFTask %lld, expected %lld\n", (long long)plainBytes,
                     (long long)taskBytes, (long long)bytes);
        return 1;
    }
    const double plainRate = bytes / plainBest / 1048576.0;
    const double taskRate = bytes / taskBest / 1048576.0;
    std::printf("plain read loop: %.0f MiB/s\nMFTask delegate: %.0f MiB/s\nratio (MFTask/plain): %.2f (goal >= 0.50)\n",
                plainRate, taskRate, taskRate / plainRate);
    return 0;
}
