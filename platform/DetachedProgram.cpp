#include "DetachedProgram.h"

#include <QProcess>

bool startDetachedProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}
