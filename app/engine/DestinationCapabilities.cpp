#include "DestinationCapabilities.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// A POSIX ACL as the kernel takes it in "system.posix_acl_access": a
// version, then (tag, permissions, id) entries in tag order. One named-user
// entry makes it an ACL the mode bits alone cannot express.
QByteArray namedUserAcl(uint32_t uid)
{
    struct Entry
    {
        uint16_t tag;
        uint16_t permissions;
        uint32_t id;
    };
    constexpr uint32_t version = 2;
    constexpr uint32_t undefinedId = 0xffffffff;
    const Entry entries[] = {
        {0x01, 6, undefinedId}, // the owner
        {0x02, 4, uid},         // a named user
        {0x04, 4, undefinedId}, // the owning group
        {0x10, 4, undefinedId}, // the mask
        {0x20, 0, undefinedId}, // others
    };
    QByteArray acl;
    const auto append = [&acl](auto value) {
        const auto little = qToLittleEndian(value);
        acl.append(reinterpret_cast<const char *>(&little), sizeof little);
    };
    append(version);
    for (const Entry &entry : entries) {
        append(entry.tag);
        append(entry.permissions);
        append(entry.id);
    }
    return acl;
}

bool keepsPermissions(int file)
{
    struct stat status = {};
    return ::fchmod(file, 0640) == 0 && ::fstat(file, &status) == 0 && (status.st_mode & 07777) == 0640;
}

bool keepsOwners(int file)
{
    // Another account's owner and group, as rsync gives them.
    const uid_t other = 65534;
    struct stat status = {};
    return ::fchown(file, other, other) == 0 && ::fstat(file, &status) == 0 && status.st_uid == other
        && status.st_gid == other;
}

} // namespace

DestinationCapabilities DestinationCapabilities::probe(const QString &destination)
{
    DestinationCapabilities capabilities;
    QByteArray folder = QFile::encodeName(QDir::cleanPath(destination) + QStringLiteral("/.vellumor-probe-XXXXXX"));
    if (!::mkdtemp(folder.data()))
        return capabilities;
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int file
        = folderFd < 0 ? -1 : ::openat(folderFd, "probe", O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file >= 0) {
        capabilities.probed = true;
        capabilities.hardLinks = ::linkat(folderFd, "probe", folderFd, "link", 0) == 0;
        capabilities.permissions = keepsPermissions(file);
        capabilities.owners = ::geteuid() == 0 ? keepsOwners(file) : capabilities.permissions;
        capabilities.userXattrs = ::fsetxattr(file, "user.vellumor.probe", "1", 1, 0) == 0;
        const QByteArray acl = namedUserAcl(65534);
        capabilities.acls = ::fsetxattr(file, "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) == 0;
        ::close(file);
    }
    if (folderFd >= 0) {
        ::unlinkat(folderFd, "link", 0);
        ::unlinkat(folderFd, "probe", 0);
        ::close(folderFd);
    }
    ::rmdir(folder.constData());
    return capabilities;
}

QStringList DestinationCapabilities::cannotKeep() const
{
    QStringList lost;
    if (!hardLinks)
        lost << QStringLiteral("hard links");
    if (!owners)
        lost << QStringLiteral("owners");
    if (!permissions)
        lost << QStringLiteral("permissions");
    if (!acls)
        lost << QStringLiteral("ACLs");
    if (!userXattrs)
        lost << QStringLiteral("extended attributes");
    return lost;
}

QString DestinationCapabilities::cannotKeepText(const QString &destination) const
{
    QStringList lost = cannotKeep();
    if (lost.isEmpty())
        return QString();
    const QString last = lost.takeLast();
    const QString items = lost.isEmpty() ? last : lost.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("%1 cannot keep %2; the copy goes on without them.").arg(QDir::cleanPath(destination), items);
}

QString DestinationCapabilities::snapshotRefusal(const QString &destination) const
{
    if (hardLinks)
        return QString();
    return QStringLiteral("%1 cannot hold hard links, so every snapshot there would be a whole new copy until the "
                          "disk is full. Use Sync for this destination.")
        .arg(QDir::cleanPath(destination));
}
