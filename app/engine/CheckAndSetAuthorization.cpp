#include "CheckAndSetAuthorization.h"

#include "BundleLocation.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t requiredMode = S_IFREG | S_ISUID | 0750;

} // namespace

int PkexecRunner::runAsRoot(const QStringList &commandLine)
{
    if (commandLine.isEmpty())
        return -1;
    QString program = commandLine.first();
    QStringList arguments = commandLine.mid(1);
    if (::geteuid() != 0) {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (pkexec.isEmpty()) {
            qWarning("pkexec not found: cannot give the auxiliary tools their rights");
            return -1;
        }
        arguments.prepend(program);
        program = pkexec;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return -1;
    // The administrator may take a while to answer the password prompt.
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

const QStringList &CheckAndSetAuthorization::toolNames()
{
    static const QStringList names
        = {QStringLiteral("rsync"), QStringLiteral("mount"), QStringLiteral("bless"), QStringLiteral("dropcount")};
    return names;
}

bool CheckAndSetAuthorization::hasRequiredState(const QString &path, gid_t group)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return status.st_mode == requiredMode && status.st_uid == 0 && status.st_gid == group;
}

QStringList CheckAndSetAuthorization::repairCommand(const QStringList &paths, gid_t group)
{
    // "$1" is the owner, the rest are the tools: sh never sees a path as code.
    QStringList command = {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                           QStringLiteral("owner=\"$1\"; shift; chown -- \"$owner\" \"$@\" && chmod 4750 -- \"$@\""),
                           QStringLiteral("sh"), QStringLiteral("0:%1").arg(group)};
    command += paths;
    return command;
}

int CheckAndSetAuthorization::checkSetAuth(PrivilegedRunner *runner, const QString &toolDirectory, gid_t group)
{
    if (group == gid_t(-1))
        group = ::getgid();
    QStringList needRepair;
    for (const QString &name : toolNames()) {
        const QString path = toolDirectory.isEmpty() ? auxiliaryToolPath(name) : toolDirectory + u'/' + name;
        if (!QFileInfo::exists(path)) {
            qWarning("auxiliary tool missing: %s", qPrintable(path));
            continue;
        }
        if (!hasRequiredState(path, group))
            needRepair << path;
    }
    if (needRepair.isEmpty())
        return 0;

    PkexecRunner pkexec;
    const int status = (runner ? runner : &pkexec)->runAsRoot(repairCommand(needRepair, group));
    if (status != 0)
        qWarning("chown tool failed (%d) %s", status, qPrintable(needRepair.join(u' ')));
    return int(needRepair.size());
}
