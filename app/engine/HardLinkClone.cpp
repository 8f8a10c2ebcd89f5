#include "HardLinkClone.h"

#include "BeneathPath.h"

#include <QFile>

#include <cerrno>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A folder of the clone whose owner, mode and times are set once the walk is
// over (linking entries into it would change its times again).
struct FolderAttributes
{
    std::string relative;
    struct stat status;
};

class CloneWalk
{
public:
    CloneWalk(int fromFd, int toFd, const std::atomic<bool> *stop) : m_fromFd(fromFd), m_toFd(toFd), m_stop(stop)
    {
        m_pending.emplace_back();
    }

    void work()
    {
        for (;;) {
            std::string folder;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_pending.empty() || m_busy == 0 || stopped(); });
                if (m_pending.empty() || stopped())
                    return;
                folder = std::move(m_pending.front());
                m_pending.pop_front();
                ++m_busy;
            }
            cloneFolder(folder);
            {
                std::lock_guard lock(m_mutex);
                --m_busy;
            }
            m_changed.notify_all();
        }
    }

    bool stopped() const { return m_stop && m_stop->load(); }
    std::vector<FolderAttributes> &folders() { return m_folders; }
    std::vector<std::string> &leftOut() { return m_leftOut; }
    bool leftOutAFolder() const { return m_leftOutAFolder; }
    const std::string &firstFolderLeftOut() const { return m_firstFolderLeftOut; }
    const QString &folderLeftOutBecause() const { return m_folderLeftOutBecause; }
    std::atomic<std::uint64_t> linked{0};

private:
    void cloneFolder(const std::string &relative)
    {
        const int from = BeneathPath::openDirectory(m_fromFd, relative);
        const int to = from < 0 ? -1 : BeneathPath::openDirectory(m_toFd, relative);
        DIR *listing = to < 0 ? nullptr : ::fdopendir(::dup(from));
        if (!listing) {
            leaveOut(relative, true);
        } else {
            while (const dirent *entry = ::readdir(listing)) {
                if (stopped())
                    break;
                cloneEntry(from, to, relative, *entry);
            }
            ::closedir(listing);
        }
        if (from >= 0)
            ::close(from);
        if (to >= 0)
            ::close(to);
    }

    void cloneEntry(int from, int to, const std::string &relative, const dirent &entry)
    {
        const char *name = entry.d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            return;
        bool isFolder = entry.d_type == DT_DIR;
        struct stat status;
        if (entry.d_type == DT_UNKNOWN || isFolder) {
            if (::fstatat(from, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                leaveOut(childOf(relative, name), true);
                return;
            }
            isFolder = S_ISDIR(status.st_mode);
        }
        if (!isFolder) {
            // Without AT_SYMLINK_FOLLOW a symbolic link is linked as itself.
            if (::linkat(from, name, to, name, 0) == 0)
                ++linked;
            else
                leaveOut(childOf(relative, name), false);
            return;
        }
        std::string child = childOf(relative, name);
        // Owner-only while the walk fills it; its own mode comes at the end.
        if (::mkdirat(to, name, S_IRWXU) != 0) {
            leaveOut(child, true);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_folders.push_back({child, status});
            m_pending.push_back(std::move(child));
        }
        m_changed.notify_one();
    }

    static std::string childOf(const std::string &relative, const char *name)
    {
        return relative.empty() ? std::string(name) : relative + '/' + name;
    }

    // Called right after the failing call, while errno still says why.
    void leaveOut(std::string relative, bool folder)
    {
        const int error = errno;
        std::lock_guard lock(m_mutex);
        m_leftOut.push_back(relative.empty() ? std::string(".") : std::move(relative));
        if (folder && !m_leftOutAFolder) {
            m_firstFolderLeftOut = m_leftOut.back();
            m_folderLeftOutBecause = QString::fromLocal8Bit(std::strerror(error));
        }
        m_leftOutAFolder = m_leftOutAFolder || folder;
    }

    const int m_fromFd;
    const int m_toFd;
    const std::atomic<bool> *m_stop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_pending;
    std::vector<FolderAttributes> m_folders;
    std::vector<std::string> m_leftOut;
    bool m_leftOutAFolder = false;
    std::string m_firstFolderLeftOut;
    QString m_folderLeftOutBecause;
    int m_busy = 0;
};

// The original folder's extended attributes, its ACLs among them, as far as
// this account may read and set them: the copy keeps them ("-A", "-X") for
// the folders it writes, and a cloned folder must not differ.
void copyExtendedAttributes(int fromFd, int toFd)
{
    std::vector<char> names(1024);
    ssize_t length = ::flistxattr(fromFd, names.data(), names.size());
    if (length < 0 && errno == ERANGE) {
        names.resize(std::size_t(std::max<ssize_t>(::flistxattr(fromFd, nullptr, 0), 0)));
        length = names.empty() ? -1 : ::flistxattr(fromFd, names.data(), names.size());
    }
    std::vector<char> value;
    for (ssize_t at = 0; at < length; at += ssize_t(std::strlen(names.data() + at)) + 1) {
        const char *name = names.data() + at;
        const ssize_t size = ::fgetxattr(fromFd, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(std::size_t(size) + 1);
        const ssize_t read = ::fgetxattr(fromFd, name, value.data(), value.size());
        if (read >= 0)
            ::fsetxattr(toFd, name, value.data(), std::size_t(read), 0);
    }
}

// Owner first (a change of owner may clear mode bits), then mode, then the
// extended attributes (an ACL set after the mode keeps its mask), then times.
void applyFolderAttributes(int fromFd, int toFd, const FolderAttributes &folder)
{
    const int fd = BeneathPath::openDirectory(toFd, folder.relative);
    if (fd < 0)
        return;
    const struct stat &status = folder.status;
    // Without root only one's own groups can be given; rsync fixes the rest.
    [[maybe_unused]] const int owned = ::fchown(fd, status.st_uid, status.st_gid);
    ::fchmod(fd, status.st_mode & 07777);
    if (const int original = BeneathPath::openDirectory(fromFd, folder.relative); original >= 0) {
        copyExtendedAttributes(original, fd);
        ::close(original);
    }
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    ::futimens(fd, times);
    ::close(fd);
}

} // namespace

HardLinkClone::HardLinkClone(int threads, const std::atomic<bool> *stop)
    : m_threads(threads < 1 ? 1 : threads)
    , m_stop(stop)
{}

HardLinkCloneResult HardLinkClone::clone(const QString &from, const QString &to) const
{
    HardLinkCloneResult result;
    const QByteArray fromPath = QFile::encodeName(from);
    const QByteArray toPath = QFile::encodeName(to);
    const int fromFd = ::open(fromPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat rootStatus;
    if (fromFd < 0 || ::fstat(fromFd, &rootStatus) != 0) {
        result.error = QStringLiteral("Cannot read %1: %2").arg(from, QString::fromLocal8Bit(std::strerror(errno)));
        if (fromFd >= 0)
            ::close(fromFd);
        return result;
    }
    if (::mkdir(toPath.constData(), S_IRWXU) != 0) {
        result.error = QStringLiteral("Cannot create %1: %2").arg(to, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fromFd);
        return result;
    }
    const int toFd = ::open(toPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    CloneWalk walk(fromFd, toFd, m_stop);
    std::vector<std::thread> workers;
    for (int i = 0; i < m_threads; ++i)
        workers.emplace_back([&walk] { walk.work(); });
    for (std::thread &worker : workers)
        worker.join();
    for (const FolderAttributes &folder : walk.folders())
        applyFolderAttributes(fromFd, toFd, folder);
    applyFolderAttributes(fromFd, toFd, {std::string(), rootStatus});
    ::close(toFd);
    ::close(fromFd);

    result.linked = walk.linked;
    result.leftOut = std::move(walk.leftOut());
    result.leftOutAFolder = walk.leftOutAFolder();
    result.firstFolderLeftOut = walk.firstFolderLeftOut();
    result.folderLeftOutBecause = walk.folderLeftOutBecause();
    result.folders = walk.folders().size() + 1;
    result.ok = !walk.stopped();
    if (!result.ok)
        result.error = QStringLiteral("Stopped");
    return result;
}
