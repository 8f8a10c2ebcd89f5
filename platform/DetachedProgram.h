#pragma once

// Starting a program that outlives its caller and is never waited for (the
// volume tools "mount" and "bless", the application started again by the
// agent, the desktop's notification settings). Answers whether the program
// started.

#include <QString>
#include <QStringList>

bool startDetachedProgram(const QString &program, const QStringList &arguments);
