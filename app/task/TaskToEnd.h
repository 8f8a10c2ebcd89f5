#pragma once

// Runs a task to its end while the calling thread waits, for the short
// helper programs the engine reads to completion (the dry run, the snapshot
// remover, diskutil). The task's messages are delivered on a thread of its
// own, so the caller needs no event loop and no other event of the caller's
// thread runs while it waits.
//
// What callers may rely on:
//  - onOutput sees every chunk of standard output and standard error, in the
//    order each stream was read, on the task's thread;
//  - keepGoing is asked right after the launch, before every chunk and every
//    keepGoingPollMs while the child is silent; once it answers false the child and everything it started are ended
//    (MFTask::killProcessGroup) and no further chunk is handed over;
//  - killProcessGroup() on the task from any other thread ends the wait too;
//  - runTaskToEnd returns after the task's end was reported, with the task
//    back in the calling thread; a task that cannot start returns at once
//    with launched == false and the reason.

#include "MFTask.h"
#include "TaskTermination.h"

#include <QByteArray>
#include <QString>

#include <functional>

struct TaskToEndResult
{
    bool launched = false;
    QString launchError;          // why the launch failed
    bool stoppedByCaller = false; // keepGoing answered false
    TaskTermination termination;  // when launched
};

constexpr int keepGoingPollMs = 50;

using TaskOutputHandler = std::function<void(const QByteArray &chunk)>;
TaskToEndResult runTaskToEnd(MFTask &task, const TaskOutputHandler &onOutput = {},
                             const std::function<bool()> &keepGoing = {});
