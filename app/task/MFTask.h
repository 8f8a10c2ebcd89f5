#pragma once

// MFTask runs one child program and hands its standard output and standard
// error (in chunks, exactly as read), its launch and its end to a delegate on
// the thread the task lives in (the main thread).
//
// What callers may rely on:
//  - every chunk the child wrote reaches the delegate before taskDidTerminate;
//  - taskDidTerminate is sent at most once, and never after invalidate();
//  - data and terminate messages arrive through the owning thread's event loop,
//    in the order the readers read them; launch and invalidate messages arrive
//    on the calling thread;
//  - a failed launch throws MFTaskLaunchError and leaves no thread and no file
//    descriptor behind;
//  - the child ends (SIGTERM) when this process ends, however it ends: it is
//    started with a parent-death signal, from a thread that lives until the
//    child has ended, so the calling thread may exit at any time; and a
//    small guard process of ours, whose group the child and its helpers
//    join, ends the group (SIGTERM, SIGKILL half a second later) when this
//    process has gone, also for a set-user-ID child, whose exec clears the
//    parent-death signal;
//  - a signal is sent only while the child has not been reaped, so it never
//    reaches another process that reused the pid.
// MFTask is the interface; ProcessTask (ProcessTask.h) is the real one, and
// the tests stand in a task that replays recorded output (see TaskFactory).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QHash>

#include "TaskTermination.h"

#include <stdexcept>
#include <system_error>

class MFTask;

// The five messages a task sends to its delegate.
class MFTaskDelegateProtocol
{
public:
    virtual ~MFTaskDelegateProtocol() = default;
    virtual void taskDidRecieveData(const QByteArray &data, MFTask *task) = 0;
    virtual void taskDidRecieveErrorData(const QByteArray &data, MFTask *task) = 0;
    virtual void taskDidTerminate(MFTask *task) = 0;
    virtual void taskDidRecieveInvalidate(MFTask *task) = 0;
    virtual void taskDidLaunch(MFTask *task) = 0;
};

// The delegate of a task whose output and events nobody reads: only how it
// ended counts.
class IgnoringTaskDelegate : public MFTaskDelegateProtocol
{
public:
    void taskDidRecieveData(const QByteArray &, MFTask *) override {}
    void taskDidRecieveErrorData(const QByteArray &, MFTask *) override {}
    void taskDidTerminate(MFTask *) override {}
    void taskDidRecieveInvalidate(MFTask *) override {}
    void taskDidLaunch(MFTask *) override {}
};

// A programming error in the use of MFTask (wrong delegate, relaunch...).
// what() carries the fixed "**Exception: ..." text.
class MFTaskException : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

// The child could not be started; code() is the errno of the failure.
class MFTaskLaunchError : public std::system_error
{
public:
    MFTaskLaunchError(int error, const QString &launchPath);
    QString launchPath() const { return m_launchPath; }

private:
    QString m_launchPath;
};

// One command-line argument, shown in the window's argument list.
class Argument
{
public:
    Argument() = default;
    explicit Argument(QString value) : m_value(std::move(value)) {}
    QString value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }
    bool operator==(const Argument &other) const = default;

private:
    QString m_value;
};

// The task interface: a child program's settings, its delegate and the
// launch, end and query calls. ProcessTask (ProcessTask.h) runs a real
// program; the tests replay recorded output through the same interface.
class MFTask : public QObject
{
    Q_OBJECT
public:
    explicit MFTask(QObject *parent = nullptr);
    ~MFTask() override;

    // Stores the delegate; nullptr clears it.
    void setDelegate(MFTaskDelegateProtocol *delegate);
    // Untyped form: throws MFTaskException when the object does not implement
    // MFTaskDelegateProtocol (the previous delegate stays).
    void setDelegateObject(QObject *object);
    MFTaskDelegateProtocol *delegate() const { return m_delegate; }

    // Settings, to be made before launch().
    void setLaunchPath(const QString &path) { m_launchPath = path; }
    QString launchPath() const { return m_launchPath; }
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    QStringList arguments() const { return m_arguments; }
    void setCurrentDirectoryPath(const QString &path) { m_currentDirectoryPath = path; }
    QString currentDirectoryPath() const { return m_currentDirectoryPath; }
    // Replaces the child's whole environment; empty means "inherit ours".
    void setEnvironment(const QHash<QString, QString> &environment) { m_environment = environment; }
    QHash<QString, QString> environment() const { return m_environment; }
    // A file the child reads as standard input; empty means /dev/null.
    void setStandardInput(const QString &path) { m_standardInput = path; }
    QString standardInput() const { return m_standardInput; }
    // A descriptor of ours the child keeps open (as its descriptor 3, or 4
    // when ours is 3), close-on-exec or not; -1 for none. Used to let the
    // copy program share its run's destination lock.
    void setInheritedDescriptor(int fd) { m_inheritedDescriptor = fd; }
    int inheritedDescriptor() const { return m_inheritedDescriptor; }

    // Queries.
    virtual qint64 processIdentifier() const = 0;
    // How the child ended (an exit with 0 while it has not ended).
    virtual TaskTermination termination() const = 0;
    // The child's exit status, or 128 + signal number when a signal ended it.
    int terminationStatus() const { return termination().status(); }
    // Describes how the child ended: "exited with N" or "killed by signal S"
    // ("running" or "not started" before that).
    virtual QString terminationDescription() const = 0;
    virtual bool isRunning() const = 0;
    // Blocks the calling thread until the child has ended.
    virtual void waitUntilExit() const = 0;

    // Starts the child. Returns false (and does nothing) once terminate() or
    // invalidate() was called. Throws MFTaskException without a delegate or on
    // a second launch, MFTaskLaunchError when the child cannot be started.
    virtual bool launch() = 0;
    // Asks the child to end politely (SIGTERM); taskDidTerminate still follows.
    virtual void terminate() = 0;
    // Ends the child and every process in its group: SIGTERM at once, then
    // SIGKILL to whatever is left after a short grace. rsync forks a receiver
    // that a signal to the first process alone would leave behind. Any thread
    // may call it; taskDidTerminate still follows.
    virtual void killProcessGroup() = 0;
    // Ends the relationship: the child is asked to end, the delegate hears
    // taskDidRecieveInvalidate and nothing after it.
    virtual void invalidate() = 0;

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }
    bool hasLaunched() const { return m_hasLaunched; }
    bool isFinished() const { return m_isFinished; }

Q_SIGNALS:
    // Emitted whenever isFinished changes (the task queue observes it).
    void isFinishedChanged(bool isFinished);

protected:
    // For implementations: the task was started; the task has finished
    // (ended, terminated before launch or invalidated).
    void setHasLaunched(bool launched) { m_hasLaunched = launched; }
    void setIsFinished(bool finished);

private:
    MFTaskDelegateProtocol *m_delegate = nullptr;
    QString m_launchPath;
    QStringList m_arguments;
    QString m_currentDirectoryPath;
    QHash<QString, QString> m_environment;
    QString m_standardInput;
    int m_inheritedDescriptor = -1;
    QString m_tag;
    bool m_isFinished = false;
    bool m_hasLaunched = false;
};
