#include "CloneEdits.h"

#include "BeneathPath.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CloneEdits {

namespace {

// Runs `change()` (an unlinkat() or linkat() in `folder`) once more with the
// folder writable for a moment when it failed for want of that: a folder of
// the clone is the clone's own, and rsync itself does so with a read-only
// folder when it is not run by root.
template<typename Change>
bool inWritableFolder(int folder, Change change)
{
    if (change())
        return true;
    struct stat status = {};
    if (errno != EACCES || ::fstat(folder, &status) != 0 || (status.st_mode & S_IWUSR) != 0)
        return false;
    const mode_t mode = status.st_mode & 07777;
    if (::fchmod(folder, mode | S_IWUSR) != 0) {
        errno = EACCES;
        return false;
    }
    const bool changed = change();
    const int error = errno;
    ::fchmod(folder, mode);
    errno = error;
    return changed;
}

bool unlinkIn(int folder, const char *name, int flags)
{
    return inWritableFolder(folder, [&] { return ::unlinkat(folder, name, flags) == 0; });
}

bool isFolder(int parent, const char *name, unsigned char type)
{
    if (type != DT_UNKNOWN)
        return type == DT_DIR;
    struct stat status = {};
    return ::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

// Opens a folder of the clone that is about to go, making it readable and
// writable first if its mode keeps its owner out.
int openFolderToEmpty(int parent, const char *name)
{
    int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && isFolder(parent, name, DT_UNKNOWN) && ::fchmodat(parent, name, S_IRWXU, 0) == 0)
        fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        ::fchmod(fd, S_IRWXU);
    return fd;
}

bool removeTree(int parent, const char *name)
{
    const int folder = openFolderToEmpty(parent, name);
    if (folder < 0)
        return false;
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return false;
    }
    bool emptied = true;
    while (const dirent *entry = ::readdir(listing)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        const bool removed = isFolder(folder, child.c_str(), entry->d_type) ? removeTree(folder, child.c_str())
                                                                            : unlinkIn(folder, child.c_str(), 0);
        emptied = emptied && (removed || errno == ENOENT);
    }
    ::closedir(listing);
    return emptied && unlinkIn(parent, name, AT_REMOVEDIR);
}

// Runs `edit(parentFd, name)` for each entry below the root; `edit` returns
// false with errno set when it failed.
template<typename Edit>
Result editEntries(int cloneRootFd, const std::vector<std::string> &entries, Edit edit)
{
    Result result;
    std::string parent;
    std::string name;
    for (const std::string &entry : entries) {
        BeneathPath::splitParent(entry, parent, name);
        if (name.empty() || name == "." || name == "..") {
            if (name == "..")
                result.failures.push_back(entry);
            continue;
        }
        const int folder = BeneathPath::openDirectory(cloneRootFd, parent);
        if (folder < 0) {
            // A parent that is missing, a file or a symbolic link holds
            // nothing of the clone's own (rsync replaces such a parent
            // rather than writing through it); any other error might.
            if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                result.failures.push_back(entry);
            continue;
        }
        if (edit(folder, name.c_str()))
            ++result.done;
        else if (errno != ENOENT)
            result.failures.push_back(entry);
        ::close(folder);
    }
    return result;
}

} // namespace

Result detachEntries(int cloneRootFd, const std::vector<std::string> &entries)
{
    return editEntries(cloneRootFd, entries, [](int folder, const char *name) {
        if (unlinkIn(folder, name, 0))
            return true;
        if (errno == EISDIR)
            errno = ENOENT; // a folder is the clone's own: nothing to detach
        return false;
    });
}

Result removeEntries(int cloneRootFd, const std::vector<std::string> &entries)
{
    return editEntries(cloneRootFd, entries, [](int folder, const char *name) {
        return isFolder(folder, name, DT_UNKNOWN) ? removeTree(folder, name) : unlinkIn(folder, name, 0);
    });
}

Result linkEntries(int cloneRootFd, const std::vector<std::pair<std::string, std::string>> &nameAndTarget)
{
    Result result;
    std::string parent;
    std::string name;
    std::string targetParent;
    std::string targetName;
    for (const auto &[entry, target] : nameAndTarget) {
        BeneathPath::splitParent(entry, parent, name);
        BeneathPath::splitParent(target, targetParent, targetName);
        const int folder = BeneathPath::openDirectory(cloneRootFd, parent);
        const int targetFolder = folder < 0 ? -1 : BeneathPath::openDirectory(cloneRootFd, targetParent);
        bool linked = false;
        if (targetFolder >= 0 && !name.empty() && name != "." && name != ".." && !targetName.empty()
            && targetName != "." && targetName != "..") {
            // Without AT_SYMLINK_FOLLOW a symbolic link is linked as itself.
            const auto link = [&] { return ::linkat(targetFolder, targetName.c_str(), folder, name.c_str(), 0) == 0; };
            linked = inWritableFolder(folder, link);
            if (!linked && errno == EEXIST && unlinkIn(folder, name.c_str(), 0))
                linked = inWritableFolder(folder, link);
        }
        if (linked)
            ++result.done;
        else
            result.failures.push_back(entry);
        if (targetFolder >= 0)
            ::close(targetFolder);
        if (folder >= 0)
            ::close(folder);
    }
    return result;
}

} // namespace CloneEdits
