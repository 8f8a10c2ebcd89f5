#include "PartialFiles.h"

#include "BackupArguments.h"
#include "BeneathPath.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PartialFiles {

namespace {

class PartialWalk
{
public:
    PartialWalk(int rootFd, dev_t device) : m_rootFd(rootFd), m_device(device) {}

    // Walks the tree from `relative` down, or only its own partial folder.
    void walk(bool wholeTree)
    {
        std::vector<std::string> pending{std::string()};
        while (!pending.empty()) {
            const std::string relative = std::move(pending.back());
            pending.pop_back();
            const int folder = BeneathPath::openDirectory(m_rootFd, relative);
            if (folder < 0)
                continue;
            struct stat status = {};
            DIR *listing = ::fstat(folder, &status) == 0 && status.st_dev == m_device ? ::fdopendir(folder) : nullptr;
            if (!listing) {
                ::close(folder);
                continue;
            }
            while (const dirent *entry = ::readdir(listing)) {
                const std::string name = entry->d_name;
                if (name == "." || name == ".." || !isFolder(::dirfd(listing), *entry))
                    continue;
                if (name == m_partialName)
                    emptyPartialFolder(::dirfd(listing), relative.empty() ? name : relative + '/' + name);
                else if (wholeTree)
                    pending.push_back(relative.empty() ? name : relative + '/' + name);
            }
            ::closedir(listing);
        }
    }

    Removal removal;

private:
    static bool isFolder(int parent, const dirent &entry)
    {
        if (entry.d_type != DT_UNKNOWN)
            return entry.d_type == DT_DIR;
        struct stat status = {};
        return ::fstatat(parent, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
    }

    void emptyPartialFolder(int parent, const std::string &relative)
    {
        const int folder = BeneathPath::openDirectory(m_rootFd, relative);
        DIR *listing = folder < 0 ? nullptr : ::fdopendir(folder);
        if (!listing) {
            if (folder >= 0)
                ::close(folder);
            return;
        }
        while (const dirent *entry = ::readdir(listing)) {
            struct stat status = {};
            if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0
                || !S_ISREG(status.st_mode))
                continue;
            if (::unlinkat(::dirfd(listing), entry->d_name, 0) == 0)
                ++removal.removed;
            else if (removal.firstFailure.isEmpty())
                removal.firstFailure = QStringLiteral("%1: %2").arg(
                    QFile::decodeName(QByteArray::fromStdString(relative + '/' + entry->d_name)),
                    QString::fromLocal8Bit(std::strerror(errno)));
        }
        ::closedir(listing);
        // Fails, as it should, while anything but partial files is left.
        std::string parentPath, name;
        BeneathPath::splitParent(relative, parentPath, name);
        ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
    }

    const int m_rootFd;
    const dev_t m_device;
    const std::string m_partialName = QFile::encodeName(partialDirName()).toStdString();
};

} // namespace

Removal removeIn(const Landing &landing)
{
    const int root = ::open(QFile::encodeName(landing.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status = {};
    if (root < 0 || ::fstat(root, &status) != 0) {
        if (root >= 0)
            ::close(root);
        return {};
    }
    PartialWalk walk(root, status.st_dev);
    walk.walk(landing.wholeTree);
    ::close(root);
    return walk.removal;
}

QList<Landing> landingsOf(const QStringList &sourcesPassed, const QString &destination)
{
    const QString dest = withTrailingSlash(destination);
    QList<Landing> landings;
    for (const QString &source : sourcesPassed) {
        Landing landing;
        if (source.endsWith(u'/')) {
            landing.folder = dest;
        } else if (const QFileInfo info(source); info.isDir() && !info.isSymLink()) {
            landing.folder = dest + info.fileName();
        } else {
            landing.folder = dest;
            landing.wholeTree = false;
        }
        if (!landings.contains(landing))
            landings << landing;
    }
    return landings;
}

} // namespace PartialFiles
