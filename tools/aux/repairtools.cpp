// vellumor-repair-tools: gives the bundle's auxiliary tools their root rights.
//
//   vellumor-repair-tools [TOOL...]     TOOL: rsync, mount, bless, dropcount
//
// Runs as root (through pkexec, or by an administrator with sudo). It takes
// no path from anyone: the tools are the named files beside this program,
// whose own location comes from /proc/self/exe and must be PREFIX/libexec/
// vellumor. Before changing anything it checks that no account but root can
// change that folder or any folder above it; otherwise it repairs nothing and
// says why. It creates the group `vellumor` when it is missing, then makes
// each tool root:vellumor mode 4750, working on a descriptor opened without
// following links, and only for a regular file with one name owned by root.
// An rsync copy older than the system's rsync is first replaced by a fresh
// copy of it, so the tool with root rights has the system's security fixes.
//
// Exit status: 0 every tool is in state; 1 some tool was refused or failed;
// 2 bad usage or not root; 3 unsafe location; 4 the group could not be made.
#include "ToolRights.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *toolFolderSuffix = "/libexec/vellumor";

void say(const std::string &text)
{
    std::fprintf(stderr, "vellumor-repair-tools: %s\n", text.c_str());
}

std::string ownFolder()
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    const std::string self(buffer, size_t(length));
    return self.substr(0, self.rfind('/'));
}

// groupadd with an exact argument list and a fixed environment: no shell.
bool createGroup()
{
    char program[] = "/usr/sbin/groupadd";
    char name[] = "groupadd";
    char system[] = "--system";
    std::string group = ToolRights::groupName;
    char *argv[] = {name, system, group.data(), nullptr};
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char *environment[] = {path, nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environment) != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Copies the system's rsync to ".rsync.new" in the folder, gives the copy its
// rights and its source's modification time, and renames it over "rsync": the
// tool's name never stands for a half-written file. Only a root-owned regular
// file that no other account may change is copied.
bool refreshRsyncCopy(int folderFd, gid_t group)
{
    const char *temporary = ".rsync.new";
    const int source = ::open(ToolRights::systemRsyncPath(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status;
    if (source < 0 || ::fstat(source, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != 0
        || (status.st_mode & (S_IWGRP | S_IWOTH))) {
        say(std::string("rsync: not refreshed: ") + ToolRights::systemRsyncPath()
            + " is not a regular file that only root may change");
        if (source >= 0)
            ::close(source);
        return false;
    }
    ::unlinkat(folderFd, temporary, 0);
    errno = 0;
    const int target = ::openat(folderFd, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    bool ok = target >= 0;
    char buffer[65536];
    for (ssize_t got; ok && (got = ::read(source, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            ok = errno == EINTR;
            continue;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t written = ::write(target, buffer + done, size_t(got - done));
            ok = written > 0 || (written < 0 && errno == EINTR);
            done += written > 0 ? written : 0;
        }
    }
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    // chown clears the set-user-ID bit, so the mode comes second.
    ok = ok && ::futimens(target, times) == 0 && ::fchown(target, 0, group) == 0
        && ::fchmod(target, ToolRights::requiredMode & 07777) == 0 && ::fsync(target) == 0;
    const int error = errno;
    ::close(source);
    if (target >= 0)
        ok = ::close(target) == 0 && ok;
    ok = ok && ::renameat(folderFd, temporary, folderFd, "rsync") == 0;
    if (!ok) {
        say(std::string("rsync: not refreshed: ") + std::strerror(error ? error : errno ? errno : EIO));
        ::unlinkat(folderFd, temporary, 0);
        return false;
    }
    std::printf("rsync: copied again from %s\n", ToolRights::systemRsyncPath());
    return true;
}

bool repairTool(int folderFd, const std::string &folder, const std::string &name, gid_t group)
{
    if (name == "rsync" && ToolRights::isOlderCopyOf(folder + "/rsync", ToolRights::systemRsyncPath()))
        return refreshRsyncCopy(folderFd, group);
    // O_NOFOLLOW: a link put in the tool's place is refused, never followed.
    // O_NONBLOCK: a FIFO in its place does not hang the open.
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        say(name + ": not repaired: " + std::strerror(errno));
        return false;
    }
    struct stat status;
    std::string reason = ::fstat(fd, &status) == 0 ? ToolRights::unrepairableFileReason(status) : std::strerror(errno);
    if (reason.empty() && !ToolRights::hasRequiredState(status, group)) {
        // chown clears the set-user-ID bit, so the mode comes second.
        if (::fchown(fd, 0, group) != 0 || ::fchmod(fd, ToolRights::requiredMode & 07777) != 0)
            reason = std::strerror(errno);
    }
    ::close(fd);
    if (!reason.empty()) {
        say(name + ": not repaired: " + reason);
        return false;
    }
    std::printf("%s: root:%s 4750\n", name.c_str(), ToolRights::groupName);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        if (!ToolRights::isToolName(argv[i])) {
            say(std::string("unknown tool \"") + argv[i]
                + "\"; usage: vellumor-repair-tools [rsync|mount|bless|dropcount]...");
            return 2;
        }
        names.emplace_back(argv[i]);
    }
    if (names.empty())
        names = ToolRights::toolNames();
    if (::geteuid() != 0) {
        say("must run as root; nothing was changed");
        return 2;
    }

    const std::string folder = ownFolder();
    if (folder.empty() || !folder.ends_with(toolFolderSuffix)) {
        say("this program is not inside a bundle's libexec/vellumor folder; nothing was changed");
        return 3;
    }
    if (const std::string reason = ToolRights::unsafeFolderReason(folder); !reason.empty()) {
        say("nothing was changed: " + reason);
        return 3;
    }

    const struct group *entry = ::getgrnam(ToolRights::groupName);
    if (!entry && createGroup())
        entry = ::getgrnam(ToolRights::groupName);
    if (!entry) {
        say(std::string("the group \"") + ToolRights::groupName + "\" is missing and could not be created");
        return 4;
    }
    const gid_t group = entry->gr_gid;

    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        say(folder + ": " + std::strerror(errno));
        return 3;
    }
    bool ok = true;
    for (const std::string &name : names)
        ok = repairTool(folderFd, folder, name, group) && ok;
    ::close(folderFd);
    std::fflush(stdout);
    return ok ? 0 : 1;
}
