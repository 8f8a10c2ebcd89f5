#pragma once

// HardLinkClone copies a snapshot folder as a tree of hard links: every
// folder is created anew with the original's owner, mode, extended
// attributes (ACLs among them, as far as the account may set them) and
// times, and every other entry (regular file, symbolic link, device, pipe,
// socket) becomes one more link to the original's inode.
//
// What callers may rely on:
//  - nothing under `from` is ever changed: no entry is opened for writing,
//    no attribute is set on it, no symbolic link is followed (every folder is
//    opened relative to its parent with O_NOFOLLOW);
//  - the clone is a best effort that is always safe to complete with rsync:
//    an entry that cannot be linked (too many links, another file system) or
//    a folder that cannot be read is left out and named in `leftOut`, for
//    rsync to copy like any missing entry;
//  - the clone fails (`ok` false, `error` says why) only when `to` cannot be
//    created or `from` cannot be opened; a stop request ends it early, also
//    with `ok` false;
//  - folders get their times after everything inside them has been linked,
//    so the clone's folder times equal the original's.

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct HardLinkCloneResult
{
    bool ok = false;
    QString error;
    std::uint64_t linked = 0;  // entries that are now links to the original
    std::uint64_t folders = 0; // folders created, `to` included
    // Entries left out (relative to `to`, "." for the top folder), for rsync
    // to copy; whether any of them may be a folder (its contents left out).
    std::vector<std::string> leftOut;
    bool leftOutAFolder = false;
    // The first folder left out, and the system's reason ("Permission
    // denied", "No space left on device").
    std::string firstFolderLeftOut;
    QString folderLeftOutBecause;
};

class HardLinkClone
{
public:
    // `threads` workers walk the tree at once (folders are shared out between
    // them); a stop flag set from any thread ends the walk early.
    explicit HardLinkClone(int threads = 4, const std::atomic<bool> *stop = nullptr);

    // Clones the folder `from` into the folder `to`, which must not exist yet.
    HardLinkCloneResult clone(const QString &from, const QString &to) const;

private:
    int m_threads;
    const std::atomic<bool> *m_stop;
};
