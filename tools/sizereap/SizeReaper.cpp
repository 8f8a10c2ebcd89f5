#include "SizeReaper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// fts_number marks a folder that is neither entered nor removed.
constexpr long kLeftAlone = 1;

bool touch(const char *path)
{
    // Only the modification date changes; AT_SYMLINK_NOFOLLOW touches a link
    // itself, never what it points to.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    return ::utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW) == 0;
}

int64_t sizeOf(const struct stat &status)
{
    // Folders and special files have no file size of their own.
    return (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) ? int64_t(status.st_size) : 0;
}

bool isRefusedForDeletion(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    return path == "/" || last == "." || last == "..";
}

// Removes what is left of a tree, staying on its file system; no counting.
void removeTree(const std::string &path)
{
    char *paths[] = {const_cast<char *>(path.c_str()), nullptr};
    FTS *tree = ::fts_open(paths, FTS_PHYSICAL | FTS_XDEV, nullptr);
    if (!tree)
        return;
    dev_t rootDevice = 0;
    while (FTSENT *entry = ::fts_read(tree)) {
        if (entry->fts_level == FTS_ROOTLEVEL && entry->fts_info == FTS_D)
            rootDevice = entry->fts_statp->st_dev;
        if (entry->fts_info == FTS_D && entry->fts_statp->st_dev != rootDevice) {
            entry->fts_number = kLeftAlone;
            ::fts_set(tree, entry, FTS_SKIP);
        } else if (entry->fts_info == FTS_DP) {
            if (entry->fts_number != kLeftAlone)
                ::rmdir(entry->fts_accpath);
        } else if (entry->fts_info != FTS_D && entry->fts_info != FTS_DNR && entry->fts_info != FTS_NS
                   && entry->fts_info != FTS_ERR) {
            ::unlink(entry->fts_accpath);
        }
    }
    ::fts_close(tree);
}

} // namespace

void SizeReaper::processPath(const std::string &path)
{
    if (m_mode == Mode::Delete && isRefusedForDeletion(path))
        return;
    struct stat status;
    if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        walkDirectory(path);
        if (m_mode == Mode::Delete && touch(path.c_str()))
            removeTree(path);
        return;
    }
    // A file, a link or a missing path.
    if (!touch(path.c_str()))
        return;
    m_total += ::lstat(path.c_str(), &status) == 0 ? sizeOf(status) : 0;
    if (m_mode == Mode::Delete)
        ::unlink(path.c_str());
}

void SizeReaper::walkDirectory(const std::string &path)
{
    char *paths[] = {const_cast<char *>(path.c_str()), nullptr};
    // FTS_PHYSICAL: links are entries, never followed. Without FTS_NOCHDIR fts
    // walks by changing folder (checked against each folder's status), so no
    // descriptor is held per level and no path grows past PATH_MAX.
    FTS *tree = ::fts_open(paths, FTS_PHYSICAL | FTS_XDEV, nullptr);
    if (!tree)
        return;
    m_removalLevel = -1;
    dev_t rootDevice = 0;
    while (FTSENT *entry = ::fts_read(tree)) {
        if (entry->fts_level == FTS_ROOTLEVEL) {
            if (entry->fts_info == FTS_D)
                rootDevice = entry->fts_statp->st_dev;
            else if (entry->fts_info != FTS_DP)
                break; // replaced by something else since the lstat above
            continue;
        }
        if (entry->fts_info == FTS_DP) {
            leave(entry);
            continue;
        }
        const bool otherFileSystem = entry->fts_info == FTS_D && entry->fts_statp->st_dev != rootDevice;
        if (otherFileSystem || !visit(entry)) {
            entry->fts_number = kLeftAlone;
            ::fts_set(tree, entry, FTS_SKIP);
        }
    }
    ::fts_close(tree);
}

bool SizeReaper::visit(FTSENT *entry)
{
    const bool isFolder = entry->fts_info == FTS_D;
    if (entry->fts_info == FTS_NS || entry->fts_info == FTS_ERR || entry->fts_info == FTS_DNR)
        return false;
    // Inside a folder that goes as a whole: removed, neither touched nor counted.
    if (m_removalLevel >= 0) {
        if (!isFolder)
            ::unlink(entry->fts_accpath);
        return true;
    }
    if (!touch(entry->fts_accpath))
        return false;
    m_total += sizeOf(*entry->fts_statp);
    if (m_mode == Mode::Count)
        return true;
    if (isFolder)
        m_removalLevel = entry->fts_level;
    else
        ::unlink(entry->fts_accpath);
    return true;
}

void SizeReaper::leave(FTSENT *entry)
{
    if (entry->fts_number == kLeftAlone || m_removalLevel < 0)
        return;
    ::rmdir(entry->fts_accpath);
    if (entry->fts_level == m_removalLevel)
        m_removalLevel = -1;
}
