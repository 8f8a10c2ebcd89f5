#pragma once

// How a child program ended, read from its wait status: the one place that
// turns a status into "exited with N" or "killed by signal S", and into the
// single number callers compare (the exit code, or 128 + the signal number,
// as a shell reports it).

#include <QString>

struct TaskTermination
{
    enum class Kind { Exited, Signalled };

    Kind kind = Kind::Exited;
    int number = 0; // the exit code or the signal number

    static TaskTermination fromWaitStatus(int waitStatus);
    static TaskTermination exited(int code) { return {Kind::Exited, code}; }
    static TaskTermination signalled(int signal) { return {Kind::Signalled, signal}; }

    // The exit code, or 128 + the signal number.
    int status() const { return kind == Kind::Signalled ? 128 + number : number; }
    // True only for an exit with code 0.
    bool succeeded() const { return kind == Kind::Exited && number == 0; }
    // "exited with N" or "killed by signal S".
    QString description() const;

    bool operator==(const TaskTermination &other) const = default;
};
