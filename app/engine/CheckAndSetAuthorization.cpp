#include "CheckAndSetAuthorization.h"
#include "ProcessTask.h"

#include "BundleLocation.h"
#include "MFTask.h"
#include "SharedDefaults.h"
#include "ToolRights.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>

#include <atomic>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString toolFolder(const QString &toolDirectory)
{
    return toolDirectory.isEmpty() ? QFileInfo(auxiliaryToolPath(QStringLiteral("rsync"))).path() : toolDirectory;
}

QString unsafeFolderReason(const QString &folder)
{
    return QString::fromStdString(ToolRights::unsafeFolderReason(QFile::encodeName(folder).toStdString()));
}

QString unrepairableFileReason(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("it cannot be examined");
    return QString::fromStdString(ToolRights::unrepairableFileReason(status));
}

std::optional<gid_t> vellumorGroup()
{
    struct group entry;
    struct group *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrnam_r(ToolRights::groupName, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->gr_gid;
}

// The name of group `gid`; false when the number belongs to no group.
bool groupNameOf(gid_t gid, QByteArray *name)
{
    struct group entry;
    struct group *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    *name = QByteArray(found->gr_name);
    return true;
}

// Logs each refused tool once per process: the check runs at every start of
// a tool.
void logRefusalOnce(const QString &path, const QString &reason)
{
    static QMutex mutex;
    static QSet<QString> logged;
    const QMutexLocker locker(&mutex);
    if (logged.contains(path))
        return;
    logged.insert(path);
    qWarning("%s is not run with root rights: %s; the plain copy runs instead", qPrintable(path), qPrintable(reason));
}

// The repair copies the system's rsync again when the bundle's copy is older.
bool isOlderRsyncCopy(const QString &folder, const QString &name)
{
    return name == u"rsync"
        && ToolRights::isOlderCopyOf(QFile::encodeName(folder + u'/' + name).toStdString(),
                                     ToolRights::systemRsyncPath());
}

bool processCarriesGroup(gid_t group)
{
    if (::getegid() == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(count > 0 ? count : 0));
    const int filled = count > 0 ? ::getgroups(count, groups.data()) : 0;
    for (int i = 0; i < filled; ++i) {
        if (groups[size_t(i)] == group)
            return true;
    }
    return false;
}

QString userNameOf(uid_t uid)
{
    struct passwd entry;
    struct passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString::number(uid);
    return QString::fromLocal8Bit(found->pw_name);
}

} // namespace

int PkexecRunner::runAsRoot(const QStringList &commandLine)
{
    if (commandLine.isEmpty())
        return -1;
    // Only the system's own pkexec, whatever PATH says.
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"),
                                                          {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    if (pkexec.isEmpty()) {
        qWarning("pkexec not found: cannot give the auxiliary tools their rights");
        return -1;
    }
    // The repair's output is only for a person reading the log; pkexec's
    // exit status is what counts, so the chunks are dropped.
    IgnoringTaskDelegate delegate;
    ProcessTask task;
    task.setDelegate(&delegate);
    task.setLaunchPath(pkexec);
    // Without a desktop authentication agent pkexec would ask on the terminal,
    // from a background process group, and stop there: fail instead.
    task.setArguments(QStringList{QStringLiteral("--disable-internal-agent")} + commandLine);
    try {
        if (!task.launch())
            return -1;
    } catch (const MFTaskLaunchError &error) {
        qWarning("pkexec could not be started: %s", error.what());
        return -1;
    }
    // The administrator may take a while to answer the password prompt.
    task.waitUntilExit();
    return task.terminationStatus();
}

AccountRights AccountRights::ofThisProcess()
{
    AccountRights rights;
    rights.isRoot = ::geteuid() == 0;
    rights.group = vellumorGroup();
    rights.isMember = rights.group && processCarriesGroup(*rights.group);
    rights.userName = userNameOf(::geteuid());
    return rights;
}

const QStringList &CheckAndSetAuthorization::toolNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const std::string &name : ToolRights::toolNames())
            list << QString::fromStdString(name);
        return list;
    }();
    return names;
}

bool CheckAndSetAuthorization::hasRequiredState(const QString &path, gid_t group)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && ToolRights::hasRequiredState(status, group);
}

QStringList CheckAndSetAuthorization::repairCommand(const QString &toolDirectory, const QStringList &names)
{
    return QStringList{toolDirectory + u'/' + QLatin1String(ToolRights::repairProgramName)} + names;
}

int CheckAndSetAuthorization::checkSetAuth(PrivilegedRunner *runner, const QString &toolDirectory,
                                           const AccountRights &rights)
{
    // Root runs every tool with root rights already; a non-member is never
    // asked for a password and copies with their own rights.
    if (rights.isRoot || !rights.isMember || !rights.group)
        return 0;
    const QString folder = toolFolder(toolDirectory);
    QStringList needRepair;
    for (const QString &name : toolNames()) {
        const QString path = folder + u'/' + name;
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            qWarning("auxiliary tool missing: %s", qPrintable(path));
        else if (!hasRequiredState(path, *rights.group) || isOlderRsyncCopy(folder, name))
            needRepair << name;
    }
    if (needRepair.isEmpty())
        return 0;
    if (const QString reason = unsafeFolderReason(folder); !reason.isEmpty()) {
        qWarning("the auxiliary tools cannot be given root rights: %s", qPrintable(reason));
        return 0;
    }
    for (const QString &name : std::as_const(needRepair)) {
        if (const QString reason = unrepairableFileReason(folder + u'/' + name); !reason.isEmpty()) {
            qWarning("%s cannot be given root rights: %s", qPrintable(name), qPrintable(reason));
            needRepair.removeOne(name);
        }
    }
    if (needRepair.isEmpty())
        return 0;

    PkexecRunner pkexec;
    const int status = (runner ? runner : &pkexec)->runAsRoot(repairCommand(folder, needRepair));
    if (status != 0)
        qWarning("chown tool failed (%d) %s", status, qPrintable(needRepair.join(u' ')));
    return int(needRepair.size());
}

bool CheckAndSetAuthorization::runsAsRoot(const QString &path)
{
    struct stat status;
    const QByteArray name = QFile::encodeName(path);
    return ::lstat(name.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == 0
        && (status.st_mode & S_ISUID) && ::access(name.constData(), X_OK) == 0;
}

QString CheckAndSetAuthorization::rightsNotice(const AccountRights &rights, const QString &toolDirectory)
{
    if (rights.isRoot)
        return QString();
    // The notice follows the rsync that runs: a set-user-ID rsync copies
    // with root rights wherever it sits.
    const QString folder = toolFolder(toolDirectory);
    if (runsAsRoot(runnableToolPath(folder, QStringLiteral("rsync"))))
        return QString();
    if (rights.isMember && rights.group) {
        const QString reason = unsafeFolderReason(folder);
        if (reason.isEmpty()) {
            for (const QString &name : toolNames()) {
                if (const QString refusal = refusedRootRightsReason(folder, name); !refusal.isEmpty())
                    return QStringLiteral("Vellumor copies with your own rights: its tool %1 is not run with root "
                                          "rights because %2. Files and folders your account may not read are "
                                          "skipped. An administrator can renew the tools with \"sudo %3\".")
                        .arg(name, refusal, repairCommand(folder, {}).constFirst());
            }
            return QStringLiteral("Vellumor copies with your own rights: its tools have not been given root "
                                  "rights yet. Files and folders your account may not read are skipped. Vellumor "
                                  "asks for an administrator's confirmation again at its next start.");
        }
        return QStringLiteral("Vellumor copies with your own rights: its tools cannot be given root rights "
                              "because %1. Files and folders your account may not read are skipped. An "
                              "administrator can install Vellumor in a folder that only root may change.")
            .arg(reason);
    }
    const QString grant = rights.group
        ? QStringLiteral("adds this account to the group \"vellumor\" (sudo adduser %1 vellumor)")
        : QStringLiteral("creates the group \"vellumor\" and adds this account to it (sudo "
                         "addgroup --system vellumor, then sudo adduser %1 vellumor)");
    return QStringLiteral("Vellumor copies with your own rights: files and folders your account may not read are "
                          "skipped, and the copies belong to you. To copy everything with owners and permissions "
                          "kept, an administrator %1, and you log in again. Members of that group have the same "
                          "power over all files as an administrator.")
        .arg(grant.arg(rights.userName));
}

QString CheckAndSetAuthorization::takeRightsNotice(const AccountRights &rights, const QString &toolDirectory)
{
    static std::atomic_bool given = false;
    const QString notice = rightsNotice(rights, toolDirectory);
    if (notice.isEmpty() || given.exchange(true))
        return QString();
    return notice;
}

QString CheckAndSetAuthorization::refusedRootRightsReason(const QString &toolDirectory, const QString &name)
{
    const QString path = toolFolder(toolDirectory) + u'/' + name;
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    QByteArray group;
    const bool named = groupNameOf(status.st_gid, &group);
    const std::string reason = ToolRights::setUserIdRefusalReason(status, named ? group.constData() : nullptr);
    if (!reason.empty())
        return QString::fromStdString(reason);
    if ((status.st_mode & S_ISUID) && status.st_uid == 0 && isOlderRsyncCopy(toolFolder(toolDirectory), name))
        return QStringLiteral("it is an older copy than the system's rsync (%1)")
            .arg(QString::fromLocal8Bit(ToolRights::systemRsyncPath()));
    return QString();
}

QString CheckAndSetAuthorization::rightsNoticeToTell(QSettings &defaults, bool canTell, const AccountRights &rights,
                                                     const QString &toolDirectory)
{
    const QString notice = rightsNotice(rights, toolDirectory);
    if (notice.isEmpty()) {
        defaults.remove(DefaultsKey::rightsNoticeTold);
        defaults.sync();
        return QString();
    }
    if (!canTell || defaults.value(DefaultsKey::rightsNoticeTold).toString() == notice) {
        qInfo("%s", qPrintable(notice));
        return QString();
    }
    defaults.setValue(DefaultsKey::rightsNoticeTold, notice);
    defaults.sync();
    return notice;
}

QString CheckAndSetAuthorization::runnableToolPath(const QString &toolDirectory, const QString &name)
{
    const QString folder = toolFolder(toolDirectory);
    const QString privileged = folder + u'/' + name;
    if (::access(QFile::encodeName(privileged).constData(), X_OK) == 0) {
        const QString refusal = refusedRootRightsReason(folder, name);
        if (refusal.isEmpty())
            return privileged;
        logRefusalOnce(privileged, refusal);
        // Never the refused tool, even when the plain copy is missing: then
        // the failure to start names the plain copy.
        return folder + QStringLiteral("/user/") + name;
    }
    const QString plain = folder + QStringLiteral("/user/") + name;
    return QFileInfo::exists(plain) ? plain : privileged;
}
