#include "CheckAndSetAuthorization.h"

#include "BundleLocation.h"
#include "MFTask.h"
#include "SharedDefaults.h"
#include "ToolRights.h"

#include <QFile>
#include <QFileInfo>
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
    MFTask task;
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
        else if (!hasRequiredState(path, *rights.group))
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
        if (reason.isEmpty())
            return QStringLiteral("Vellumor copies with your own rights: its tools have not been given root "
                                  "rights yet. Files and folders your account may not read are skipped. Vellumor "
                                  "asks for an administrator's confirmation again at its next start.");
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
    if (::access(QFile::encodeName(privileged).constData(), X_OK) == 0)
        return privileged;
    const QString plain = folder + QStringLiteral("/user/") + name;
    return QFileInfo::exists(plain) ? plain : privileged;
}
