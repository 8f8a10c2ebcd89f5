#include "SizeReaper.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kDirectoryOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

bool SizeReaper::touchAt(int directoryFd, const char *name)
{
    // Only the modification date changes; AT_SYMLINK_NOFOLLOW touches a link
    // itself, never what it points to.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    return ::utimensat(directoryFd, name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

int64_t SizeReaper::sizeAt(int directoryFd, const char *name, bool *isDirectory)
{
    struct stat status;
    if (::fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        *isDirectory = false;
        return 0;
    }
    *isDirectory = S_ISDIR(status.st_mode);
    // Folders and special files have no file size of their own.
    return (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) ? int64_t(status.st_size) : 0;
}

void SizeReaper::processPath(const std::string &path)
{
    bool isDirectory = false;
    const int64_t size = sizeAt(AT_FDCWD, path.c_str(), &isDirectory);
    if (!isDirectory) {
        if (!touchAt(AT_FDCWD, path.c_str()))
            return;
        m_total += size;
        if (m_mode == Mode::Delete)
            ::unlinkat(AT_FDCWD, path.c_str(), 0);
        return;
    }

    const int directoryFd = ::open(path.c_str(), kDirectoryOpenFlags);
    if (directoryFd >= 0)
        walkDirectory(directoryFd); // closes directoryFd

    if (m_mode == Mode::Delete && touchAt(AT_FDCWD, path.c_str()))
        removeTreeAt(AT_FDCWD, path.c_str());
}

void SizeReaper::walkDirectory(int directoryFd)
{
    DIR *directory = ::fdopendir(directoryFd);
    if (!directory) {
        ::close(directoryFd);
        return;
    }
    while (const struct dirent *entry = ::readdir(directory)) {
        const char *name = entry->d_name;
        if (isDotOrDotDot(name) || !touchAt(directoryFd, name))
            continue;
        bool isDirectory = false;
        m_total += sizeAt(directoryFd, name, &isDirectory);
        if (m_mode == Mode::Delete) {
            if (isDirectory)
                removeTreeAt(directoryFd, name);
            else
                ::unlinkat(directoryFd, name, 0);
        } else if (isDirectory) {
            const int childFd = ::openat(directoryFd, name, kDirectoryOpenFlags);
            if (childFd >= 0)
                walkDirectory(childFd);
        }
    }
    ::closedir(directory);
}

void SizeReaper::removeTreeAt(int directoryFd, const char *name)
{
    // Try the cheap case first: an empty folder goes with one call.
    if (::unlinkat(directoryFd, name, AT_REMOVEDIR) == 0)
        return;
    const int childFd = ::openat(directoryFd, name, kDirectoryOpenFlags);
    if (childFd < 0)
        return;
    if (DIR *directory = ::fdopendir(childFd)) {
        while (const struct dirent *entry = ::readdir(directory)) {
            const char *childName = entry->d_name;
            if (isDotOrDotDot(childName))
                continue;
            // Anything but a folder goes with one unlink; a folder (or an entry
            // of unknown type that unlink refuses) is emptied first.
            if (entry->d_type != DT_DIR && ::unlinkat(childFd, childName, 0) == 0)
                continue;
            removeTreeAt(childFd, childName);
        }
        ::closedir(directory);
    } else {
        ::close(childFd);
    }
    ::unlinkat(directoryFd, name, AT_REMOVEDIR);
}
