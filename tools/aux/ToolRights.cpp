#include "ToolRights.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace ToolRights {

const char *systemRsyncPath()
{
    return VELLUMOR_SYSTEM_RSYNC;
}

const std::vector<std::string> &toolNames()
{
    static const std::vector<std::string> names = {"rsync", "mount", "bless", "dropcount"};
    return names;
}

bool isToolName(const std::string &name)
{
    const std::vector<std::string> &names = toolNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool hasRequiredState(const struct stat &status, gid_t group)
{
    return status.st_mode == requiredMode && status.st_uid == 0 && status.st_gid == group;
}

namespace {

std::string parentOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string folderReason(const std::string &folder)
{
    struct stat status;
    if (::lstat(folder.c_str(), &status) != 0)
        return folder + " cannot be examined (" + std::strerror(errno) + ")";
    if (S_ISLNK(status.st_mode))
        return folder + " is a symbolic link";
    if (!S_ISDIR(status.st_mode))
        return folder + " is not a folder";
    if (status.st_uid != 0)
        return folder + " is not owned by root";
    if (status.st_mode & (S_IWGRP | S_IWOTH))
        return folder + " may be changed by other accounts";
    return {};
}

} // namespace

std::string unsafeFolderReason(const std::string &folder)
{
    if (folder.empty() || folder.front() != '/')
        return "\"" + folder + "\" is not an absolute path";
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos || path.ends_with("/.")
        || path.ends_with("/.."))
        return "\"" + folder + "\" is not a plain path";
    for (;;) {
        const std::string reason = folderReason(path);
        if (!reason.empty())
            return reason;
        if (path == "/")
            return {};
        path = parentOf(path);
    }
}

std::string setUserIdRefusalReason(const struct stat &status, const char *groupNameOfTool)
{
    if (!(status.st_mode & S_ISUID) || status.st_uid != 0)
        return {};
    if (!groupNameOfTool)
        return "its group number " + std::to_string(status.st_gid) + " belongs to no group";
    if (std::strcmp(groupNameOfTool, groupName) != 0)
        return std::string("its group is \"") + groupNameOfTool + "\", not \"" + groupName + "\"";
    return {};
}

bool isOlderCopyOf(const std::string &copyPath, const std::string &systemPath)
{
    struct stat copy;
    struct stat system;
    if (::stat(copyPath.c_str(), &copy) != 0 || ::stat(systemPath.c_str(), &system) != 0)
        return false;
    const auto older = [](const struct timespec &a, const struct timespec &b) {
        return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
    };
    if (!older(copy.st_mtim, system.st_mtim))
        return false;
    if (copy.st_size != system.st_size)
        return true;
    std::ifstream a(copyPath, std::ios::binary);
    std::ifstream b(systemPath, std::ios::binary);
    if (!a || !b)
        return false;
    return !std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                       std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>());
}

std::string unrepairableFileReason(const struct stat &status)
{
    if (!S_ISREG(status.st_mode))
        return "it is not a regular file";
    if (status.st_nlink != 1)
        return "it has more than one name (hard links)";
    if (status.st_uid != 0)
        return "it is not owned by root";
    return {};
}

} // namespace ToolRights
