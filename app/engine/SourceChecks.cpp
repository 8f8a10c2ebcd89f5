#include "SourceChecks.h"

#include <QDir>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// Links followed before a chain counts as a loop.
constexpr int maximumLinks = 40;

enum class FolderState { Empty, HasEntries, Unreadable };

// Reads at most one entry: enough to tell an empty folder, and cheap on a
// mirror of millions of files.
FolderState folderState(const QString &path)
{
    DIR *directory = ::opendir(QFile::encodeName(path).constData());
    if (!directory)
        return FolderState::Unreadable;
    FolderState state = FolderState::Empty;
    while (const dirent *entry = ::readdir(directory)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        state = FolderState::HasEntries;
        break;
    }
    ::closedir(directory);
    return state;
}

QString withoutTrailingSlash(const QString &path)
{
    return path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path;
}

// The real location of a path that may not exist yet: its nearest existing
// ancestor with links resolved, plus the rest; `device` is that ancestor's.
QString realLocation(const QString &path, dev_t *device)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!QFileInfo::exists(existing) && existing != u"/") {
        rest = u'/' + QFileInfo(existing).fileName() + rest;
        existing = QFileInfo(existing).path();
    }
    struct stat status;
    if (device && ::stat(QFile::encodeName(existing).constData(), &status) == 0)
        *device = status.st_dev;
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool isInside(const QString &path, const QString &folder)
{
    return path == folder || folder == u"/" || path.startsWith(folder + u'/');
}

// Whether an exclusion keeps the (real) destination out of a copy of
// `source`: the entry lies strictly inside the source, as the exclusion
// patterns require, and holds the destination.
bool isExcludedFrom(const QString &realDestination, const QString &source, const QStringList &excludedFiles)
{
    const QString root = QDir::cleanPath(source);
    for (const QString &entry : excludedFiles) {
        const QString clean = QDir::cleanPath(entry);
        if (clean == root || !isInside(clean, root))
            continue;
        if (isInside(realDestination, realLocation(clean, nullptr)))
            return true;
    }
    return false;
}

} // namespace

namespace SourceChecks {

QString destinationRefusal(const QStringList &sources, const QString &destination, const QStringList &excludedFiles,
                           CopyInto into)
{
    dev_t destinationDevice = 0;
    const QString dest = realLocation(destination, &destinationDevice);
    for (qsizetype index = 0; index < sources.size(); ++index) {
        const QString &source = sources.at(index);
        dev_t sourceDevice = 0;
        const QString real = realLocation(source, &sourceDevice);
        // Only a folder holds anything (a file copied onto itself is rsync's
        // to refuse); rsync -x stops at other file systems, so "/" to a
        // mounted disk is fine.
        const QFileInfo realInfo(real);
        const bool folder = realInfo.isDir() || !realInfo.exists();
        if (folder && isInside(dest, real) && destinationDevice == sourceDevice
            && !(index == 0 && isExcludedFrom(dest, source, excludedFiles)))
            return QStringLiteral("the destination %1 is inside the source %2: the copy would copy itself")
                .arg(destination, source);
        // A folder copied without "/" lands in DEST/<name>.
        if (into == CopyInto::Destination && !source.endsWith(u'/')
            && QDir::cleanPath(dest + u'/' + QFileInfo(real).fileName()) == real)
            return QStringLiteral("copying %1 into %2 would write over the source itself").arg(source, destination);
    }
    return {};
}

QString destinationRefusalText(const QString &refusal)
{
    return QStringLiteral("The backup did not start because %1.").arg(refusal);
}

ResolvedSource resolveSourceLink(const QString &source)
{
    ResolvedSource resolved{source, false};
    QString path = withoutTrailingSlash(source);
    const QFileInfo info(path);
    // isDir() follows the link: only a link that ends at a folder counts.
    if (!info.isSymLink() || !info.isDir())
        return resolved;
    for (int step = 0; step < maximumLinks && QFileInfo(path).isSymLink(); ++step)
        path = QDir::cleanPath(QFileInfo(path).symLinkTarget());
    resolved.path = path;
    resolved.wasLink = true;
    return resolved;
}

QStringList rebasedEntries(const QStringList &entries, const QString &from, const QString &to)
{
    const QString base = withoutTrailingSlash(from);
    QStringList rebased;
    rebased.reserve(entries.size());
    for (const QString &entry : entries) {
        if (entry.startsWith(base + u'/'))
            rebased << withoutTrailingSlash(to) + entry.mid(base.size());
        else
            rebased << entry;
    }
    return rebased;
}

QStringList sharedFinalNames(const QStringList &sourcesPassed)
{
    QStringList seen;
    QStringList shared;
    for (const QString &source : sourcesPassed) {
        if (source.endsWith(u'/'))
            continue; // its contents are copied, not a folder of that name
        const QString name = source.section(u'/', -1);
        if (seen.contains(name)) {
            if (!shared.contains(name))
                shared << name;
        } else {
            seen << name;
        }
    }
    return shared;
}

std::optional<EmptySourceRefusal> emptySourceRefusal(const QStringList &sourcesPassed, const QString &backupDest)
{
    for (const QString &source : sourcesPassed) {
        const FolderState sourceState = folderState(source);
        if (sourceState == FolderState::HasEntries)
            continue;
        // rsync writes a folder source into a folder of its name, and a
        // source ending in "/" into the destination itself.
        const QString copy = source.endsWith(u'/') ? backupDest : backupDest + source.section(u'/', -1);
        if (folderState(copy) != FolderState::HasEntries)
            continue;
        return EmptySourceRefusal{source, copy, sourceState == FolderState::Unreadable};
    }
    return std::nullopt;
}

std::optional<QString> firstRelativePath(const QStringList &sources, const QString &destination)
{
    for (const QString &path : sources + QStringList{destination}) {
        if (!path.startsWith(u'/'))
            return path;
    }
    return std::nullopt;
}

QString relativePathText(const QString &path)
{
    return QStringLiteral("The backup did not start because \"%1\" is not an absolute path: rsync would read it "
                          "from its own working folder, or as an option.")
        .arg(path);
}

QString refusalText(const EmptySourceRefusal &refusal)
{
    const QString state = refusal.unreadable ? QStringLiteral("cannot be read") : QStringLiteral("is empty");
    return QStringLiteral("The backup did not start because %1 %2, while its copy %3 is not. This Sync would "
                          "have deleted everything in %3. If %1 is on a disk or share that is not mounted, "
                          "mount it and try again.")
        .arg(refusal.source, state, refusal.copy);
}

QString sharedNamesText(const QStringList &names)
{
    return QStringLiteral("The backup did not start because more than one source is named %1: they would be "
                          "copied into the same folder of the destination, and files of one would replace or "
                          "delete files of the other. Back them up to different destinations.")
        .arg(names.join(QStringLiteral(", ")));
}

} // namespace SourceChecks
