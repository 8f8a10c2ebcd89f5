#include "FinderSync.h"

#include "BundleLocation.h"
#include "DetachedProgram.h"
#include "DistributedNotificationCenter.h"
#include "FinderCopyHandOver.h"
#include "FinderSyncTexts.h"
#include "Identifiers.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>
#include <QStorageInfo>

FinderSync::FinderSync(FinderSyncController &controller, ApplicationLauncher &launcher,
                       DistributedNotificationCenter *center, VolumeLister mountedVolumeURLs, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_launcher(launcher)
    , m_mountedVolumeURLs(std::move(mountedVolumeURLs))
{
    if (center) {
        center->addObserver(Vellumor::VolumesChangedNotification, Vellumor::NotificationObject, this,
                            [this](const QString &, const QString &) { _didMountVolume(); });
    }
    setDirectoryURLS();
}

std::optional<QList<QUrl>> FinderSync::copiedArray() const
{
    QMutexLocker locker(&m_copiedLock);
    return m_copiedArray;
}

void FinderSync::setCopiedArray(const std::optional<QList<QUrl>> &items)
{
    QMutexLocker locker(&m_copiedLock);
    m_copiedArray = items;
}

QString FinderSync::toolbarItemName()
{
    return QStringLiteral(VELLUMOR_FINDER_ITEM_NAME);
}

QString FinderSync::toolbarItemToolTip()
{
    return QStringLiteral(VELLUMOR_FINDER_ITEM_TOOL_TIP);
}

QString FinderSync::getMainAppIconImage()
{
    return QStringLiteral(VELLUMOR_FINDER_ICON_NAME);
}

QList<FinderSync::MenuItem> FinderSync::menuForMenuKind(MenuKind) const
{
    // The same two entries serve every kind of menu.
    return {
        {QStringLiteral(VELLUMOR_FINDER_COPY_TITLE), MenuAction::CopySelected, QString(), getMainAppIconImage()},
        {QStringLiteral(VELLUMOR_FINDER_PASTE_TITLE), MenuAction::PasteSelected, QString(), getMainAppIconImage()},
    };
}

void FinderSync::copySelected()
{
    setCopiedArray(m_controller.selectedItemURLs());
}

QUrl FinderSync::pasteTarget() const
{
    const QList<QUrl> selected = m_controller.selectedItemURLs();
    if (!selected.isEmpty() && selected.first().isLocalFile() && QFileInfo(selected.first().toLocalFile()).isDir())
        return selected.first();
    return m_controller.targetedURL();
}

void FinderSync::pasteSelected()
{
    const QString targetPath = pasteTarget().toLocalFile();
    // Nothing copied yet archives as an empty list: the new instance then
    // finds no source and quits.
    if (!writeFinderCopyRequest(targetPath, copiedArray().value_or(QList<QUrl>())))
        qWarning("cannot save the shared defaults for the paste into %s", qUtf8Printable(targetPath));
    m_launcher.launchNewInstance();
}

void FinderSync::_didMountVolume()
{
    // Volume updates from notifications never interleave.
    QMutexLocker locker(&m_volumeLock);
    volumesChanged();
}

void FinderSync::volumesChanged()
{
    setDirectoryURLS();
}

void FinderSync::setDirectoryURLS()
{
    const QList<QUrl> volumes = m_mountedVolumeURLs();
    if (volumes.isEmpty())
        return;
    const QSet<QUrl> directories(volumes.cbegin(), volumes.cend());
    if (!directories.isEmpty())
        m_controller.setDirectoryURLs(directories);
}

QList<QUrl> FinderSync::systemVolumeURLs()
{
    QList<QUrl> urls;
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &volume : volumes) {
        if (volume.isValid() && volume.isReady())
            urls.append(QUrl::fromLocalFile(volume.rootPath()));
    }
    return urls;
}

QString BundleApplicationLauncher::mainApplicationPath()
{
    return vellumorPrefix() + QStringLiteral("/bin/vellumor");
}

bool BundleApplicationLauncher::launchNewInstance()
{
    const QString program = mainApplicationPath();
    const bool started = startDetachedProgram(program, {});
    if (!started)
        qWarning("cannot start %s", qUtf8Printable(program));
    return started;
}
