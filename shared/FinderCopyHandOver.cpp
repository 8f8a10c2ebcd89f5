#include "FinderCopyHandOver.h"

#include "PropertyList.h"
#include "SharedDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

namespace {

// Serialises the writers and takers of the two keys across processes. It is
// not QSettings' own lock file, which sync() takes and which is not
// recursive.
QString handOverLockPath()
{
    return sharedDefaultsFilePath() + QStringLiteral(".handover.lock");
}

class HandOverLock
{
public:
    HandOverLock() : m_lock(handOverLockPath())
    {
        QDir().mkpath(QFileInfo(handOverLockPath()).absolutePath());
        // A holder that died leaves a stale lock, which QLockFile takes over.
        m_locked = m_lock.lock();
        if (!m_locked)
            qWarning("cannot lock the Finder copy hand-over (%d)", int(m_lock.error()));
    }
    ~HandOverLock()
    {
        if (m_locked)
            m_lock.unlock();
    }
    HandOverLock(const HandOverLock &) = delete;
    HandOverLock &operator=(const HandOverLock &) = delete;

private:
    QLockFile m_lock;
    bool m_locked = false;
};

QString sourcePath(const QUrl &url)
{
    // cleanPath drops a trailing "/": rsync reads "dir/" as "the contents of dir".
    return QDir::cleanPath(url.toLocalFile());
}

// "file:--x" and "file:x" are local files with relative paths, which rsync
// would read as an option or from its working folder; "file://host/x" is
// on another machine.
bool isAbsoluteLocalFile(const QUrl &url)
{
    return url.isLocalFile() && (url.host().isEmpty() || url.host() == u"localhost")
        && url.toLocalFile().startsWith(u'/');
}

} // namespace

QByteArray archiveFileURLs(const QList<QUrl> &urls)
{
    QStringList strings;
    strings.reserve(urls.size());
    for (const QUrl &url : urls)
        strings.append(url.toString(QUrl::FullyEncoded));
    return PropertyList::toXml(QVariant(strings)).value_or(QByteArray());
}

QList<QUrl> unarchiveFileURLs(const QByteArray &archive)
{
    const std::optional<QVariant> root = PropertyList::fromData(archive);
    if (!root || root->typeId() != QMetaType::QStringList)
        return {};
    QList<QUrl> urls;
    const QStringList strings = root->toStringList();
    for (const QString &string : strings) {
        const QUrl url(string, QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty())
            urls.append(url);
    }
    return urls;
}

std::optional<FinderCopyRequest> finderCopyRequestFrom(const QVariant &selectedForPaste,
                                                       const QVariant &selectedForCopy)
{
    if (!selectedForPaste.isValid() || !selectedForCopy.isValid())
        return std::nullopt;
    FinderCopyRequest request;
    const QString target = selectedForPaste.toString();
    request.destination = QDir::cleanPath(target);
    if (!target.startsWith(u'/'))
        request.refusedItems.append(target);
    const QList<QUrl> items = unarchiveFileURLs(selectedForCopy.toByteArray());
    for (const QUrl &item : items) {
        if (isAbsoluteLocalFile(item))
            request.sources.append(sourcePath(item));
        else
            request.refusedItems.append(item.toString());
    }
    return request;
}

QString finderCopyRefusalText(const FinderCopyRequest &request)
{
    QStringList quoted;
    for (const QString &item : request.refusedItems)
        quoted << u'"' + item + u'"';
    if (quoted.size() == 1)
        return QStringLiteral("Nothing was pasted: %1 is not an absolute local path.").arg(quoted.first());
    return QStringLiteral("Nothing was pasted: %1 are not absolute local paths.").arg(quoted.join(u", "));
}

bool writeFinderCopyRequest(const QString &targetFolderPath, const QList<QUrl> &copiedItems)
{
    HandOverLock lock;
    const auto defaults = getUserDefaults();
    defaults->setValue(DefaultsKey::selectedForPaste, targetFolderPath);
    defaults->setValue(DefaultsKey::selectedForCopy, archiveFileURLs(copiedItems));
    defaults->sync();
    return defaults->status() == QSettings::NoError;
}

std::optional<FinderCopyRequest> takeFinderCopyRequest()
{
    HandOverLock lock;
    const auto defaults = getUserDefaults();
    std::optional<FinderCopyRequest> request = finderCopyRequestFrom(defaults->value(DefaultsKey::selectedForPaste),
                                                                     defaults->value(DefaultsKey::selectedForCopy));
    if (!request)
        return std::nullopt;
    // Removed and saved before the copy starts, so the next launch is normal.
    defaults->remove(DefaultsKey::selectedForPaste);
    defaults->remove(DefaultsKey::selectedForCopy);
    defaults->sync();
    return request;
}
