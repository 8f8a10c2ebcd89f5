#pragma once

// Gives the bundle's auxiliary tools ("rsync", "mount", "bless", "dropcount")
// the rights a backup needs: owner root, set-user-ID, so rsync can carry
// owners, groups and permissions over with --numeric-ids.
//
// The tools are made owner root, group = the primary group of the user who
// authorised, mode 4750: only that user (and root) may run them. A set-user-ID
// root copy of rsync that every account may run would hand every account
// root's access to every file.
//
// What callers may rely on: checkSetAuth() changes nothing and asks nobody
// when every tool is already in that state; otherwise it runs one privileged
// command for all the tools that need it (one password prompt), and returns
// how many tools it tried to repair. Failures are logged, never thrown; a tool
// left as it was still runs, with the user's own rights.

#include <QString>
#include <QStringList>

#include <sys/types.h>

// Runs one command line with root rights and answers its exit status
// (non-zero when it could not be run or the user refused).
class PrivilegedRunner
{
public:
    virtual ~PrivilegedRunner() = default;
    virtual int runAsRoot(const QStringList &commandLine) = 0;
};

// pkexec (polkit) asks for an administrator's confirmation; a process that is
// already root runs the command directly.
class PkexecRunner : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &commandLine) override;
};

class CheckAndSetAuthorization
{
public:
    static const QStringList &toolNames(); // rsync, mount, bless, dropcount

    // True when `path` is a regular file owned by root, group `group`, mode 4750.
    static bool hasRequiredState(const QString &path, gid_t group);

    // The one command line that repairs `paths`: chown first (it clears the
    // set-user-ID bit), then chmod; the paths are passed as arguments, never
    // spliced into the script.
    static QStringList repairCommand(const QStringList &paths, gid_t group);

    // Checks the tools in `toolDirectory` (the bundle's by default) and
    // repairs those that need it through `runner` (pkexec by default).
    static int checkSetAuth(PrivilegedRunner *runner = nullptr, const QString &toolDirectory = QString(),
                            gid_t group = gid_t(-1));
};
