#pragma once

// Gives the bundle's auxiliary tools ("rsync", "mount", "bless", "dropcount")
// the rights a backup needs, for the accounts an administrator chose.
//
// Root rights belong to the members of the system group `vellumor`: the tools
// are owner root, group vellumor, mode 4750, so a member runs them with root
// rights (rsync then keeps owners, groups and permissions). Membership is
// therefore the same as administrator rights over files. Everyone else runs
// the plain copies in libexec/vellumor/user with their own rights.
//
// What callers may rely on:
//  - checkSetAuth() asks for a password (one pkexec call for every tool that
//    needs it) only when the account is a member, some tool is out of state
//    and the tools sit in a folder no account but root can change; root, a
//    non-member or an unsafe folder is never asked and nothing is changed;
//  - the privileged step is the bundle's own vellumor-repair-tools, given tool
//    names only (never paths); it re-checks everything as root;
//  - failures are logged, never thrown; a tool left as it was still runs
//    (runnableToolPath() picks a copy this account may run);
//  - a set-user-ID root tool is never run when its group is not `vellumor`
//    or, for rsync, when it is an older copy than the system's rsync: the
//    plain copy runs instead, the log says why once per tool and process,
//    and rightsNotice() tells the user;
//  - takeRightsNotice() gives the plain-words notice for an account that
//    copies with its own rights the first time it is called in a process,
//    and an empty text afterwards.

#include <QString>
#include <QStringList>

class QSettings;

#include <optional>
#include <sys/types.h>

// Runs one command line with root rights and answers its exit status
// (non-zero when it could not be run or the user refused).
class PrivilegedRunner
{
public:
    virtual ~PrivilegedRunner() = default;
    virtual int runAsRoot(const QStringList &commandLine) = 0;
};

// pkexec (polkit) asks for an administrator's confirmation, through the
// desktop's authentication agent; the child runs through MFTask.
class PkexecRunner : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &commandLine) override;
};

// What this account may do with the tools.
struct AccountRights
{
    bool isRoot = false;
    std::optional<gid_t> group; // the `vellumor` group, when it exists
    bool isMember = false;      // this process carries that group
    QString userName;

    // The running process: its effective user and its group list (a member
    // added since the login is not one until the next login).
    static AccountRights ofThisProcess();
};

class CheckAndSetAuthorization
{
public:
    static const QStringList &toolNames(); // rsync, mount, bless, dropcount

    // True when `path` is a regular file owned by root, group `group`, mode 4750.
    static bool hasRequiredState(const QString &path, gid_t group);

    // TOOLDIR/vellumor-repair-tools followed by the tool names.
    static QStringList repairCommand(const QString &toolDirectory, const QStringList &names);

    // Checks the tools in `toolDirectory` (the bundle's by default) and, for
    // a member, repairs those that need it through `runner` (pkexec by
    // default): a tool out of state, and an rsync copy older than the
    // system's rsync, which the repair copies again. Returns how many tools a
    // repair was run for.
    static int checkSetAuth(PrivilegedRunner *runner = nullptr, const QString &toolDirectory = QString(),
                            const AccountRights &rights = AccountRights::ofThisProcess());

    // Empty for root and whenever the rsync that runs has root rights
    // (runnableToolPath(), runsAsRoot()); otherwise what copying with one's
    // own rights means and, for the reason at hand (a tool refused, tools not
    // repaired yet, an unsafe folder, no membership), what an administrator
    // can do about it.
    static QString rightsNotice(const AccountRights &rights, const QString &toolDirectory = QString());
    // rightsNotice() the first time it is not empty in this process; then "".
    static QString takeRightsNotice(const AccountRights &rights = AccountRights::ofThisProcess(),
                                    const QString &toolDirectory = QString());
    // rightsNotice() when `canTell` and it is not the notice last told, which
    // `defaults` then remembers; otherwise "" and the notice goes to the log.
    // A notice no longer due is forgotten, so it is told again should it
    // return.
    static QString rightsNoticeToTell(QSettings &defaults, bool canTell,
                                      const AccountRights &rights = AccountRights::ofThisProcess(),
                                      const QString &toolDirectory = QString());
    // Whether the program at `path` runs with root rights when this process
    // starts it: a regular file owned by root with the set-user-ID bit that
    // this process may run.
    static bool runsAsRoot(const QString &path);

    // Why TOOLDIR/<name> must not run with the root rights it carries (see
    // above); empty when it may or carries none.
    static QString refusedRootRightsReason(const QString &toolDirectory, const QString &name);

    // The tool to start: TOOLDIR/<name> when this process may run it and its
    // root rights are not refused, else the plain copy TOOLDIR/user/<name>
    // when there is one.
    static QString runnableToolPath(const QString &toolDirectory, const QString &name);
};
