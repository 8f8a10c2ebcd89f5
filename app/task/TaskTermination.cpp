#include "TaskTermination.h"

#include <sys/wait.h>

TaskTermination TaskTermination::fromWaitStatus(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return signalled(WTERMSIG(waitStatus));
    return exited(WEXITSTATUS(waitStatus));
}

QString TaskTermination::description() const
{
    return kind == Kind::Signalled ? QStringLiteral("killed by signal %1").arg(number)
                                   : QStringLiteral("exited with %1").arg(number);
}
