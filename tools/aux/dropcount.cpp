// dropcount: removes folder trees and prints one line per removed item.
//
//   dropcount -rfv PATH...
//
// What callers may rely on:
//  - every entry below PATH and PATH itself are removed; each removal prints
//    one line "removed 'NAME'" or "removed directory 'NAME'" on standard
//    output, and a control character in a name is printed as \ooo so a name
//    never spans two lines;
//  - a symbolic link is removed as a link and never followed, so nothing
//    outside the tree is touched, even if a link is swapped in while we work
//    (every step is relative to an open directory and opened with O_NOFOLLOW);
//  - with -f a missing PATH is not an error; the exit status is 0 when
//    everything was removed, 1 when something could not be, 64 on bad usage.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool g_verbose = false;
bool g_force = false;
bool g_recursive = false;

std::string printable(const std::string &name)
{
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void report(const std::string &path, bool isDirectory)
{
    if (!g_verbose)
        return;
    std::printf(isDirectory ? "removed directory '%s'\n" : "removed '%s'\n", printable(path).c_str());
}

void complain(const std::string &path, int error)
{
    std::fprintf(stderr, "dropcount: cannot remove '%s': %s\n", printable(path).c_str(), std::strerror(error));
}

// Removes the entry `name` of the open directory `parentFd`; `path` is only
// for messages. Returns false when something could not be removed.
bool removeEntry(int parentFd, const char *name, const std::string &path, unsigned char type = DT_UNKNOWN)
{
    // Most entries are files whose type readdir already told us: one unlink,
    // no stat. Anything else (or an unlink that fails) takes the full path.
    if (type != DT_DIR && type != DT_UNKNOWN && ::unlinkat(parentFd, name, 0) == 0) {
        report(path, false);
        return true;
    }
    struct stat status;
    if (::fstatat(parentFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT && g_force)
            return true;
        complain(path, errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        if (::unlinkat(parentFd, name, 0) != 0) {
            complain(path, errno);
            return false;
        }
        report(path, false);
        return true;
    }
    if (!g_recursive) {
        complain(path, EISDIR);
        return false;
    }
    // O_NOFOLLOW: if the folder was replaced by a link since fstatat, the open
    // fails instead of walking into the link's target.
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        complain(path, errno);
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        complain(path, errno);
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (struct dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        ok = removeEntry(fd, entry->d_name, path + "/" + entry->d_name, entry->d_type) && ok;
    }
    ::closedir(dir);
    if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0) {
        complain(path, errno);
        return false;
    }
    report(path, true);
    return ok;
}

int usage()
{
    std::fprintf(stderr, "usage: dropcount [-rfv] PATH...\n");
    return 64;
}

} // namespace

int main(int argc, char **argv)
{
    int index = 1;
    for (; index < argc && argv[index][0] == '-' && argv[index][1] != '\0'; ++index) {
        if (std::strcmp(argv[index], "--") == 0) {
            ++index;
            break;
        }
        for (const char *flag = argv[index] + 1; *flag; ++flag) {
            switch (*flag) {
            case 'r':
            case 'R':
                g_recursive = true;
                break;
            case 'f':
                g_force = true;
                break;
            case 'v':
                g_verbose = true;
                break;
            default:
                return usage();
            }
        }
    }
    if (index >= argc)
        return usage();

    // One line per removed item: a large buffer keeps that to few writes.
    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    bool ok = true;
    for (; index < argc; ++index) {
        std::string path = argv[index];
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        if (path == "/" || path == "." || path == "..") {
            std::fprintf(stderr, "dropcount: refusing to remove '%s'\n", argv[index]);
            ok = false;
            continue;
        }
        // Split into parent folder and last component so the top entry is
        // handled like any other: a link given as PATH is removed, not followed.
        const auto slash = path.rfind('/');
        const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parentFd < 0) {
            if (!(errno == ENOENT && g_force)) {
                complain(path, errno);
                ok = false;
            }
            continue;
        }
        ok = removeEntry(parentFd, name.c_str(), path) && ok;
        ::close(parentFd);
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
