// diskutil stand-in: answers "info -plist PATH" with an XML property list
// describing the mounted file system that holds PATH.
//
// What callers may rely on: on success the exit status is 0 and standard
// output is one XML property list (a dictionary) with at least "DeviceNode"
// (the mount source), "MountPoint", "FilesystemType" and the boolean
// "GlobalPermissionsEnabled" (false only where the file system cannot hold
// POSIX owners). Unknown commands exit 64; a path on no mounted file system
// prints a message on standard error and exits 1.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The nearest existing ancestor: a volume root is asked for even while a
// destination folder below it does not exist yet.
QString existingAncestor(QString path)
{
    path = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    while (!QFileInfo::exists(path) && path != u"/")
        path = QFileInfo(path).path();
    return path;
}

// /proc/self/mountinfo escapes space, tab, newline and backslash as \ooo.
QByteArray unescapeMountField(const QByteArray &field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// Mount and super-block options of the mount at `mountPoint` (the last one
// listed wins, as later mounts hide earlier ones).
QByteArray mountOptions(const QByteArray &mountPoint)
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray options;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 6 || separator < 0 || separator + 3 >= fields.size())
            continue;
        if (unescapeMountField(fields[4]) == mountPoint)
            options = fields[5] + ',' + fields[separator + 3];
    }
    return options;
}

bool holdsOwners(const QByteArray &type, const QByteArray &options)
{
    static const QList<QByteArray> withoutOwners = {"vfat", "fat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk"};
    if (!withoutOwners.contains(type))
        return true;
    // FAT and exFAT have no owners at all; ntfs-3g (fuseblk) and ntfs3 keep
    // them only when mounted with "permissions".
    const bool ntfs = type == "ntfs" || type == "ntfs3" || type == "fuseblk";
    return ntfs && options.split(',').contains("permissions");
}

int usage()
{
    std::fprintf(stderr, "usage: diskutil info -plist PATH\n");
    return 64;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 3 || arguments[0] != u"info" || arguments[1] != u"-plist")
        return usage();

    const QStorageInfo storage(existingAncestor(arguments[2]));
    if (!storage.isValid()) {
        std::fprintf(stderr, "Could not find disk: %s\n", qPrintable(arguments[2]));
        return 1;
    }
    const QByteArray type = storage.fileSystemType();
    const QByteArray options = mountOptions(QFile::encodeName(storage.rootPath()));

    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "DeviceNode", plist_new_string(storage.device().constData()));
    plist_dict_set_item(dict, "MountPoint", plist_new_string(QFile::encodeName(storage.rootPath()).constData()));
    plist_dict_set_item(dict, "FilesystemType", plist_new_string(type.constData()));
    plist_dict_set_item(dict, "VolumeName", plist_new_string(storage.name().toUtf8().constData()));
    plist_dict_set_item(dict, "WritableVolume", plist_new_bool(!storage.isReadOnly()));
    plist_dict_set_item(dict, "GlobalPermissionsEnabled", plist_new_bool(holdsOwners(type, options)));

    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    std::fwrite(xml, 1, length, stdout);
    plist_to_xml_free(xml);
    plist_free(dict);
    return 0;
}
