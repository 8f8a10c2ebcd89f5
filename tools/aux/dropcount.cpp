// dropcount: removes folder trees and prints one line per removed item.
//
//   dropcount -rfv PATH...
//
// What callers may rely on:
//  - every entry below PATH and PATH itself are removed; each removal prints
//    one line "removed 'NAME'" or "removed directory 'NAME'" on standard
//    output, and a control character in a name is printed as \ooo so a name
//    never spans two lines;
//  - a PATH whose last part is "." or ".." (or "/") is refused, as rm does:
//    "a/b/.." would otherwise remove a with all of b's siblings;
//  - a symbolic link is removed as a link and never followed, so nothing
//    outside the tree is touched, even if a link is swapped in while we work
//    (fts checks each folder it enters against the status it read first);
//  - the walk stays on the file system PATH is on: a folder on another file
//    system (a mount point) is neither entered nor removed;
//  - trees of any depth are removed: the walk holds no descriptor per level;
//  - with -f a missing PATH is not an error; the exit status is 0 when
//    everything was removed, 1 when something could not be, 64 on bad usage.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fts.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool g_verbose = false;
bool g_force = false;
bool g_recursive = false;

// fts_number marks a folder that is neither entered nor removed.
constexpr long kLeftAlone = 1;

std::string printable(const char *name)
{
    std::string out;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c) {
        if (*c < 0x20 || *c == 0x7f) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", *c);
            out += buffer;
        } else {
            out += static_cast<char>(*c);
        }
    }
    return out;
}

void report(const FTSENT *entry, bool isDirectory)
{
    if (!g_verbose)
        return;
    std::printf(isDirectory ? "removed directory '%s'\n" : "removed '%s'\n", printable(entry->fts_path).c_str());
}

void complain(const char *path, int error)
{
    std::fprintf(stderr, "dropcount: cannot remove '%s': %s\n", printable(path).c_str(), std::strerror(error));
}

// Whether the last part of `path` is "." or "..", or the path is "/".
bool isRefusedPath(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/")
        return true;
    const std::string last = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    return last == "." || last == "..";
}

// A folder met before its contents: entered unless it must be left alone
// (then it counts as not removed).
bool enterFolder(FTS *tree, FTSENT *entry, dev_t rootDevice)
{
    if (entry->fts_level == FTS_ROOTLEVEL && !g_recursive) {
        complain(entry->fts_path, EISDIR);
    } else if (entry->fts_statp->st_dev != rootDevice) {
        std::fprintf(stderr, "dropcount: skipping '%s', since it is on a different file system\n",
                     printable(entry->fts_path).c_str());
    } else {
        return true;
    }
    entry->fts_number = kLeftAlone;
    ::fts_set(tree, entry, FTS_SKIP);
    return false;
}

// Removes one entry fts handed over; fts_accpath is relative to the folder
// fts has changed into. Returns false when something could not be removed.
bool removeEntry(FTS *tree, FTSENT *entry, dev_t rootDevice)
{
    switch (entry->fts_info) {
    case FTS_D:
        return enterFolder(tree, entry, rootDevice);
    case FTS_DP:
        if (entry->fts_number == kLeftAlone)
            return true; // already reported when it was met
        if (::rmdir(entry->fts_accpath) != 0) {
            complain(entry->fts_path, errno);
            return false;
        }
        report(entry, true);
        return true;
    case FTS_NS:
    case FTS_ERR:
    case FTS_DNR:
    case FTS_DC:
        if (entry->fts_errno == ENOENT && g_force)
            return true;
        complain(entry->fts_path, entry->fts_errno ? entry->fts_errno : ELOOP);
        return false;
    default: // files, links, devices, sockets, FIFOs
        if (::unlink(entry->fts_accpath) != 0) {
            if (errno == ENOENT && g_force)
                return true;
            complain(entry->fts_path, errno);
            return false;
        }
        report(entry, false);
        return true;
    }
}

bool removePath(const char *path)
{
    char *paths[] = {const_cast<char *>(path), nullptr};
    // FTS_PHYSICAL: links are entries, never followed (the top one included).
    // Without FTS_NOCHDIR fts walks by changing folder, checked with "..", so
    // no descriptor is held per level and no path grows past PATH_MAX.
    FTS *tree = ::fts_open(paths, FTS_PHYSICAL | FTS_XDEV, nullptr);
    if (!tree) {
        complain(path, errno);
        return false;
    }
    bool ok = true;
    dev_t rootDevice = 0;
    while (FTSENT *entry = ::fts_read(tree)) {
        if (entry->fts_level == FTS_ROOTLEVEL && entry->fts_info == FTS_D)
            rootDevice = entry->fts_statp->st_dev;
        ok = removeEntry(tree, entry, rootDevice) && ok;
    }
    // fts_read answers NULL with errno 0 at the end, with errno set on failure.
    if (errno != 0) {
        complain(path, errno);
        ok = false;
    }
    ::fts_close(tree);
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
        if (isRefusedPath(argv[index])) {
            std::fprintf(stderr, "dropcount: refusing to remove '.' or '..' or '/': skipping '%s'\n",
                         printable(argv[index]).c_str());
            ok = false;
            continue;
        }
        errno = 0;
        ok = removePath(argv[index]) && ok;
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
