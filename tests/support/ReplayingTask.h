#pragma once

// A task that replays recorded output instead of starting a program, and the
// factory that makes it, so the controller's tests run whole backups fast
// and exactly: every chunk, every ending (an exit code, a kill, a launch
// that fails, a program that never ends on its own) is chosen by the test.
//
// It keeps MFTask's promises: every chunk reaches the delegate before
// taskDidTerminate, which comes at most once and never after invalidate();
// data and the end arrive through the event loop of the task's thread;
// launch() returns false once terminate() or invalidate() was called and
// throws MFTaskLaunchError when the script says the program is missing.

#include "TaskFactory.h"

#include <QList>
#include <QMutex>
#include <QStringList>

#include <functional>

// What one launch does.
struct TaskScript
{
    struct Chunk
    {
        QByteArray data;
        bool isError = false; // standard error rather than standard output
    };
    QList<Chunk> chunks;
    TaskTermination termination = TaskTermination::exited(0);
    bool failsToLaunch = false; // launch() throws, as for a missing program
    bool stalls = false;        // after its chunks, runs until it is killed

    // A recording from tests/fixtures/rsync (stdout and stderr merged), cut
    // into chunks of `chunkSize` bytes.
    static TaskScript fromFixture(const QString &fileName, int exitCode = 0, qsizetype chunkSize = 4096);
    TaskScript &output(const QByteArray &data);
    TaskScript &errorOutput(const QByteArray &data);
    TaskScript &exitingWith(int code)
    {
        termination = TaskTermination::exited(code);
        return *this;
    }
};

class ReplayingTaskFactory : public TaskFactory
{
public:
    // Chooses each launch's script from the program's file name ("rsync",
    // "dropcount", "diskutil") and its arguments. Called on the launching
    // thread.
    using Chooser = std::function<TaskScript(const QString &program, const QStringList &arguments)>;

    explicit ReplayingTaskFactory(Chooser chooser) : m_chooser(std::move(chooser)) {}
    std::unique_ptr<MFTask> makeTask() const override;

    // Every launch so far, as the program's file name followed by its arguments.
    QList<QStringList> launches() const;
    // The launches of one program.
    QList<QStringList> launchesOf(const QString &program) const;
    // The tasks made by this factory that are running now.
    int runningCount() const;

private:
    friend class ReplayingTask;
    TaskScript scriptFor(const QString &launchPath, const QStringList &arguments) const;
    void countRunning(int change) const;

    Chooser m_chooser;
    mutable QMutex m_mutex;
    mutable QList<QStringList> m_launches;
    mutable int m_running = 0;
};
