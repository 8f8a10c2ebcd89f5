// A front end for the parent-death test: starts "task_child MODE" (sleep
// when not given) through MFTask from a thread that ends right after the
// launch, prints the child's pid and waits to be killed.
#include "MFTask.h"

#include <QCoreApplication>

#include <cstdio>
#include <thread>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    IgnoringTaskDelegate delegate;
    MFTask task;
    task.setLaunchPath(QString::fromLocal8Bit(argv[1]));
    task.setArguments({argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("sleep")});
    task.setDelegate(&delegate);
    std::thread launcher([&task] { task.launch(); });
    launcher.join();
    std::printf("%lld\n", static_cast<long long>(task.processIdentifier()));
    std::fflush(stdout);
    for (;;)
        ::pause();
}
