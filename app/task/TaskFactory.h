#pragma once

// Where the engine gets its child programs from. Every child program of the
// engine (rsync and its dry run, the snapshot remover, the volume tools) is
// an MFTask made here, so the tests can hand the engine a factory whose
// tasks replay recorded output instead of starting programs.
//
// What callers may rely on: makeTask() may be called from any thread and
// returns a new, unlaunched task living in the calling thread.

#include "MFTask.h"

#include <memory>

class TaskFactory
{
public:
    virtual ~TaskFactory() = default;
    virtual std::unique_ptr<MFTask> makeTask() const = 0;

    // The real one: tasks that start programs.
    static const TaskFactory &system();
};
