#pragma once

// Opening a folder below a root folder without ever following a symbolic
// link on the way: each component is opened relative to the one before with
// O_NOFOLLOW, so a link planted anywhere in the path makes the open fail
// instead of leading outside the tree. Used wherever the engine changes a
// tree it built itself (a snapshot clone) by paths another program printed.

#include <string>
#include <string_view>

namespace BeneathPath {

// An O_DIRECTORY descriptor of `relative` ("" or "." is the root itself)
// below `rootFd`, or -1 with errno set. Empty components and "." are
// skipped; ".." is refused (EACCES). The caller closes the descriptor.
int openDirectory(int rootFd, std::string_view relative);

// Splits "a/b/c" into the parent "a/b" and the name "c"; a trailing "/" is
// ignored ("a/b/" gives "a" and "b").
void splitParent(std::string_view relative, std::string &parent, std::string &name);

} // namespace BeneathPath
