#pragma once

// The rules for the root rights of the bundle's auxiliary tools, shared by
// the application's check and the repair executable that runs as root.
// Plain C++ and POSIX, no Qt.
//
// What callers may rely on:
//  - root rights belong to the members of the system group `vellumor`: a tool
//    in the required state is a regular file owned by root, group vellumor,
//    mode 4750 (set-user-ID, run by owner and group only);
//  - a repair is safe only in a folder that no account but root can change:
//    every folder from it up to "/" is a real folder (never a link), owned by
//    root and not writable by group or others. The functions answer an empty
//    text when a check passes and the reason in plain words when it fails.

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace ToolRights {

inline constexpr const char *groupName = "vellumor";
inline constexpr const char *repairProgramName = "vellumor-repair-tools";
inline constexpr mode_t requiredMode = S_IFREG | S_ISUID | 0750;

// The system's rsync, which the bundle's copy is made from (found when
// building).
const char *systemRsyncPath();

// "rsync", "mount", "bless", "dropcount", in the order they are checked.
const std::vector<std::string> &toolNames();
bool isToolName(const std::string &name);

// Whether `status` is a tool in the required state for `group`.
bool hasRequiredState(const struct stat &status, gid_t group);

// Why `folder` (absolute) or one of the folders above it is no safe place for
// a set-user-ID root program; empty when it is.
std::string unsafeFolderReason(const std::string &folder);

// Why a tool with this status must not be run with the root rights it
// carries; empty when it may, or when it carries none (not set-user-ID root).
// `groupNameOfTool` is the name of the tool's group, null when the group
// number has none: root rights are honoured for the group `vellumor` only, so
// a tool left behind with the number of a deleted group, which a later group
// may reuse, is never run with them.
std::string setUserIdRefusalReason(const struct stat &status, const char *groupNameOfTool);

// Whether the program at `copyPath` was copied from `systemPath` before the
// system's program last changed: the two differ and the copy is the older.
// False when either cannot be read (nothing to compare with).
bool isOlderCopyOf(const std::string &copyPath, const std::string &systemPath);

// Why a tool file with this status must not be repaired; empty when it may.
// Only a regular file with a single name, already owned by root, qualifies:
// another owner could still hold it open for writing.
std::string unrepairableFileReason(const struct stat &status);

} // namespace ToolRights
