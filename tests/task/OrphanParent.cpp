// A front end for the parent-death test: starts "task_child MODE" (sleep
// when not given) through MFTask from a thread that ends right after the
// launch, prints the child's pid (for "stubborn", once the child has said it
// ignores SIGTERM) and waits to be killed.
#include "ProcessTask.h"

#include <QCoreApplication>

#include <cstdio>
#include <thread>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    // Counts the child's output: a child that ignores SIGTERM says so first.
    struct OutputDelegate : IgnoringTaskDelegate
    {
        bool sawOutput = false;
        void taskDidRecieveData(const QByteArray &, MFTask *) override { sawOutput = true; }
    } delegate;
    ProcessTask task;
    task.setLaunchPath(QString::fromLocal8Bit(argv[1]));
    task.setArguments({argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("sleep")});
    task.setDelegate(&delegate);
    std::thread launcher([&task] { task.launch(); });
    launcher.join();
    if (task.arguments().constFirst() == u"stubborn") {
        while (!delegate.sawOutput)
            app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::printf("%lld\n", static_cast<long long>(task.processIdentifier()));
    std::fflush(stdout);
    for (;;)
        ::pause();
}
