#include "SnapshotChangeList.h"

#include "BeneathPath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SnapshotChangeList {

namespace {

// The marker starts with a TAB: none of rsync's own messages does.
constexpr std::string_view marker = "\t#change: ";
// "%i" is always eleven characters ("YXcstpoguax"), then one space.
constexpr std::size_t itemizeWidth = 11;

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

} // namespace

QByteArray changeListOutFormat()
{
    QByteArray argument("--out-format=");
    argument.append(marker.data(), qsizetype(marker.size()));
    argument.append("%i %n");
    return argument;
}

std::string unescapeName(std::string_view escaped)
{
    std::string name;
    name.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 4 < escaped.size() && escaped[i + 1] == '#' && isOctal(escaped[i + 2])
            && isOctal(escaped[i + 3]) && isOctal(escaped[i + 4])) {
            name += char(((escaped[i + 2] - '0') << 6) | ((escaped[i + 3] - '0') << 3) | (escaped[i + 4] - '0'));
            i += 4;
            continue;
        }
        name += escaped[i];
    }
    return name;
}

bool parseChangeLine(std::string_view line, std::string &name)
{
    if (!line.starts_with(marker))
        return false;
    line.remove_prefix(marker.size());
    if (line.size() < itemizeWidth + 2 || line[itemizeWidth] != ' ')
        return false;
    const char update = line[0];
    const char type = line[1];
    // "*deleting", and folders (their own inodes in the clone), stay.
    if (update == '*' || type == 'd')
        return false;
    name = unescapeName(line.substr(itemizeWidth + 1));
    return !name.empty();
}

void Collector::addChunk(const QByteArray &chunk)
{
    std::string_view rest(chunk.constData(), std::size_t(chunk.size()));
    for (;;) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            m_partial.append(rest);
            return;
        }
        if (m_partial.empty()) {
            addLine(rest.substr(0, end));
        } else {
            m_partial.append(rest.substr(0, end));
            addLine(m_partial);
            m_partial.clear();
        }
        rest.remove_prefix(end + 1);
    }
}

void Collector::finish()
{
    if (!m_partial.empty())
        addLine(m_partial);
    m_partial.clear();
}

void Collector::addLine(std::string_view line)
{
    // rsync's progress output rewrites its line with "\r"; only the last
    // part of such a line can be an itemised line.
    const std::size_t carriageReturn = line.rfind('\r');
    if (carriageReturn != std::string_view::npos)
        line.remove_prefix(carriageReturn + 1);
    std::string name;
    if (parseChangeLine(line, name))
        m_entries.push_back(std::move(name));
}

namespace {

// A folder of the clone is the clone's own inode (never shared with a
// snapshot), so one that is read-only for its owner (as its original was) may
// be made writable for a moment to unlink an entry, as rsync itself does with
// such folders when it is not run by root.
bool unlinkInReadOnlyFolder(int folder, const std::string &name)
{
    struct stat status = {};
    if (errno != EACCES || ::fstat(folder, &status) != 0 || (status.st_mode & S_IWUSR) != 0)
        return false;
    const mode_t mode = status.st_mode & 07777;
    if (::fchmod(folder, mode | S_IWUSR) != 0) {
        errno = EACCES;
        return false;
    }
    const bool unlinked = ::unlinkat(folder, name.c_str(), 0) == 0;
    const int error = errno;
    ::fchmod(folder, mode);
    errno = error;
    return unlinked;
}

} // namespace

DetachResult detachEntries(int cloneRootFd, const std::vector<std::string> &entries)
{
    DetachResult result;
    std::string parent;
    std::string name;
    for (const std::string &entry : entries) {
        BeneathPath::splitParent(entry, parent, name);
        if (name.empty() || name == "." || name == "..")
            continue;
        const int folder = BeneathPath::openDirectory(cloneRootFd, parent);
        if (folder < 0) {
            // A parent that is missing, a file or a symbolic link holds
            // nothing of the clone's own (rsync replaces such a parent
            // rather than writing through it); any other error might.
            if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                result.failures.push_back(entry);
            continue;
        }
        if (::unlinkat(folder, name.c_str(), 0) == 0 || unlinkInReadOnlyFolder(folder, name))
            ++result.detached;
        else if (errno != ENOENT && errno != EISDIR)
            result.failures.push_back(entry);
        ::close(folder);
    }
    return result;
}

} // namespace SnapshotChangeList
