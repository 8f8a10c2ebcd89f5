#pragma once

// Changes to a snapshot clone by the names the dry run printed: detaching an
// entry (so rsync writes it anew instead of changing an inode the older
// snapshots share) and removing what left the sources.
//
// What callers may rely on:
//  - every name is taken below `cloneRootFd` without following a symbolic
//    link on the way, and ".." is refused, so nothing outside the clone is
//    ever reached;
//  - only names are unlinked or linked: no file of the clone is opened or
//    changed, so the inodes the clone shares with older snapshots keep their
//    contents and attributes (a link count aside); its
//    folders are the clone's own, and one that is read-only (as its original
//    was) is made writable for a moment and given its mode back;
//  - an entry that is already missing counts as done.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace CloneEdits {

struct Result
{
    std::size_t done = 0;              // entries unlinked or removed
    std::vector<std::string> failures; // entries that could not be (and exist)
};

// Unlinks each entry that is not a folder; folders are passed over.
Result detachEntries(int cloneRootFd, const std::vector<std::string> &entries);

// Removes each entry, a folder with everything inside it.
Result removeEntries(int cloneRootFd, const std::vector<std::string> &entries);

// Makes each name one more link to its target's inode (which only gains a
// link); a name already there is replaced. `failures` holds the names that
// could not be linked (their target missing, a folder, or at its link limit).
Result linkEntries(int cloneRootFd, const std::vector<std::pair<std::string, std::string>> &nameAndTarget);

} // namespace CloneEdits
