#include "FileLockHolder.h"

#include <QFile>
#include <QList>

#include <pwd.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <vector>

namespace FileLockHolder {

namespace {

// The real user id from /proc/PID/status ("Uid:\treal\teffective\t..."): a
// set-user-ID copy program runs for the account that started it.
std::optional<uid_t> realUserOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Files of /proc tell no size, so atEnd() cannot be asked: read it all.
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> ids = line.mid(4).simplified().split(' ');
        bool ok = false;
        const uint uid = ids.value(0).toUInt(&ok);
        return ok ? std::optional<uid_t>(uid_t(uid)) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<uid_t> flockHolder(dev_t device, ino_t inode)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray &line : locks.readAll().split('\n')) {
        // "3: FLOCK  ADVISORY  WRITE 4242 08:01:1234567 0 EOF": the pid and
        // the file as major:minor (hex) and inode; a waiting request has
        // "->" after the number and holds nothing.
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) != "FLOCK")
            continue;
        const QList<QByteArray> file = fields.at(5).split(':');
        if (file.size() != 3)
            continue;
        bool majorOk = false, minorOk = false, inodeOk = false, pidOk = false;
        const uint fileMajor = file.at(0).toUInt(&majorOk, 16);
        const uint fileMinor = file.at(1).toUInt(&minorOk, 16);
        const qulonglong fileInode = file.at(2).toULongLong(&inodeOk);
        const qint64 pid = fields.at(4).toLongLong(&pidOk);
        if (!majorOk || !minorOk || !inodeOk || !pidOk || pid <= 0)
            continue;
        if (fileMajor == ::major(device) && fileMinor == ::minor(device) && fileInode == qulonglong(inode))
            return realUserOf(pid);
    }
    return std::nullopt;
}

QString accountName(uid_t uid)
{
    struct passwd entry = {};
    struct passwd *found = nullptr;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

} // namespace FileLockHolder
