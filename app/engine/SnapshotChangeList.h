#pragma once

// The change list of a fast snapshot: the dry run compares the sources with
// the folder the copy will write into (a hard-link clone of the previous
// snapshot) and prints one itemised line per difference in the format of
// changeListOutFormat(). Every entry it names that is not a folder is
// detached from the clone (unlinked) before the copy, so rsync writes it
// anew instead of changing the mode, owner or times of an inode the older
// snapshots share.
//
// What callers may rely on:
//  - lines of any other kind (rsync's messages, statistics, progress) are
//    ignored, and a chunk may end anywhere, also inside a line or a
//    character;
//  - names are unescaped as rsync escapes them ("\#ooo" octal bytes), so
//    newlines, tabs and invalid UTF-8 in names come back as the real bytes;
//  - deletions ("*deleting") and folders are not listed: rsync deletes in
//    the clone by unlinking, and the clone's folders are its own inodes.

#include <QByteArray>

#include <string>
#include <string_view>
#include <vector>

namespace SnapshotChangeList {

// The "--out-format=" argument the dry run of a fast snapshot uses.
QByteArray changeListOutFormat();

// "\#012" and the like back to their bytes; any other text as it stands.
std::string unescapeName(std::string_view escaped);

// Whether an itemised line names an entry to detach; `name` receives it.
bool parseChangeLine(std::string_view line, std::string &name);

class Collector
{
public:
    void addChunk(const QByteArray &chunk);
    // Call once after the last chunk: a last line without a line end counts.
    void finish();
    const std::vector<std::string> &entriesToDetach() const { return m_entries; }

private:
    void addLine(std::string_view line);
    std::string m_partial;
    std::vector<std::string> m_entries;
};

struct DetachResult
{
    std::size_t detached = 0;          // unlinked from the clone
    std::vector<std::string> failures; // could not be unlinked (and exist)
};

// Unlinks each entry below `cloneRootFd` without following any symbolic
// link on the way; entries that are missing or are folders are passed over.
DetachResult detachEntries(int cloneRootFd, const std::vector<std::string> &entries);

} // namespace SnapshotChangeList
