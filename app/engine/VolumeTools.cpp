#include "VolumeTools.h"

#include "BackupArguments.h"
#include "BundleLocation.h"
#include "CheckAndSetAuthorization.h"
#include "DetachedProgram.h"
#include "TaskToEnd.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <plist/plist.h>

DiskutilInfo parseDiskutilInfo(const QByteArray &output)
{
    DiskutilInfo info;
    plist_t root = nullptr;
    if (!output.isEmpty())
        plist_from_xml(output.constData(), uint32_t(output.size()), &root);
    if (!root)
        return info;
    if (plist_get_node_type(root) == PLIST_DICT) {
        info.parsed = true;
        if (plist_t permissions = plist_dict_get_item(root, "GlobalPermissionsEnabled")) {
            if (plist_get_node_type(permissions) == PLIST_BOOLEAN) {
                uint8_t value = 0;
                plist_get_bool_val(permissions, &value);
                info.globalPermissionsEnabled = value != 0;
            } else if (plist_get_node_type(permissions) == PLIST_UINT) {
                uint64_t value = 0;
                plist_get_uint_val(permissions, &value);
                info.globalPermissionsEnabled = value != 0;
            }
        }
        if (plist_t device = plist_dict_get_item(root, "DeviceNode");
            device && plist_get_node_type(device) == PLIST_STRING) {
            char *text = nullptr;
            plist_get_string_val(device, &text);
            info.deviceNode = QString::fromUtf8(text);
            free(text);
        }
    }
    plist_free(root);
    return info;
}

QString nearestExistingFolder(const QString &path)
{
    QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    while (!QFileInfo::exists(folder) && folder != u"/")
        folder = QFileInfo(folder).path();
    return folder;
}

bool makeDestinationOnPresentVolume(const QString &destination,
                                    const std::function<bool(const QString &)> &volumeIsMounted)
{
    if (QFileInfo::exists(destination) || !volumeIsMounted(nearestExistingFolder(destination)))
        return true;
    return QDir().mkpath(destination);
}

QString volumeRootOf(const QString &path)
{
    const QStorageInfo storage(nearestExistingFolder(path));
    return storage.isValid() ? storage.rootPath() : QStringLiteral("/");
}

bool isVolumeRoot(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const QStorageInfo storage(clean);
    return storage.isValid() && storage.rootPath() == clean && clean != u"/";
}

VolumeTools::VolumeTools(QString toolDirectory, const TaskFactory &tasks)
    : m_toolDirectory(std::move(toolDirectory))
    , m_tasks(&tasks)
{}

QString VolumeTools::toolPath(const QString &name) const
{
    // The tools with root rights run only for members of the group vellumor;
    // everyone else starts the plain copies.
    return CheckAndSetAuthorization::runnableToolPath(m_toolDirectory, name);
}

bool VolumeTools::doesAppearBootableSource(const QString &path)
{
    return QFileInfo::exists(withTrailingSlash(path) + QStringLiteral("System/Library/CoreServices"));
}

bool VolumeTools::doesAppearBootableDestination(const QString &path)
{
    return isVolumeRoot(path);
}

bool VolumeTools::checkSetOwnershipOnVolume(bool change, bool enable, const QString &path) const
{
    const std::unique_ptr<MFTask> diskutil = m_tasks->makeTask();
    diskutil->setLaunchPath(toolPath(QStringLiteral("diskutil")));
    diskutil->setArguments({QStringLiteral("info"), QStringLiteral("-plist"), volumeRootOf(path)});
    QByteArray output;
    const TaskToEndResult result = runTaskToEnd(*diskutil, [&output](const QByteArray &chunk) { output += chunk; });
    if (!result.launched) {
        qWarning("diskutil could not be started: %s", qPrintable(result.launchError));
        return false;
    }
    const DiskutilInfo info = parseDiskutilInfo(output);
    if (change && info.parsed && !info.deviceNode.isEmpty()) {
        startDetached(toolPath(QStringLiteral("mount")),
                      {QStringLiteral("-o"), enable ? QStringLiteral("owners") : QStringLiteral("noowners"),
                       QStringLiteral("-u"), info.deviceNode});
    }
    return info.globalPermissionsEnabled;
}

bool VolumeTools::blessDest(const QString &backupDest) const
{
    if (!isVolumeRoot(backupDest))
        return false;
    const QString folder = withTrailingSlash(backupDest) + QStringLiteral("System/Library/CoreServices");
    if (!QFileInfo(folder).isDir())
        return false;
    return startDetached(toolPath(QStringLiteral("bless")), {QStringLiteral("-folder"), folder});
}

bool VolumeTools::startDetached(const QString &program, const QStringList &arguments) const
{
    if (m_startDetached)
        return m_startDetached(program, arguments);
    return startDetachedProgram(program, arguments);
}
