#pragma once

// The change list of a fast snapshot: the dry run compares the sources with
// the previous snapshot (of which the new working folder is a hard-link
// clone) and prints one itemised line per difference in the format of
// changeListOutFormat(), deletions included. From it the run knows what to
// remove from the clone, what to detach from it (so that rsync writes such an
// entry anew instead of changing the mode, owner or times of an inode the
// older snapshots share) and the exact list of entries the copy transfers.
//
// What callers may rely on:
//  - lines of any other kind (rsync's messages, statistics, progress) are
//    ignored, and a chunk may end anywhere, also inside a line or a
//    character;
//  - names are unescaped as rsync escapes them ("\#ooo" octal bytes), so
//    newlines and invalid UTF-8 in names come back as the real bytes; a
//    folder's name loses rsync's trailing "/", the top folder is ".";
//  - a symbolic link's or hard link's line carries its target after the name
//    (" -> target", " => name"); where a name itself holds that separator the
//    line cannot be split for certain, and every possible name is listed
//    (listing one too many only makes the copy write an entry anew);
//  - a hard link whose line can be split for certain is also kept as a pair
//    (hardLinks()): when its target is unchanged the run links the two in
//    the clone itself, as the ordinary run would; otherwise its target is
//    listed as changed too, as the copy links two names only when both are
//    in its list.

#include <QByteArray>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SnapshotChangeList {

// The "--out-format=" argument the dry run of a fast snapshot uses.
QByteArray changeListOutFormat();

// "\#012" and the like back to their bytes; any other text as it stands.
std::string unescapeName(std::string_view escaped);

// One itemised line, read.
struct HardLink
{
    std::string name;
    std::string target;
    bool operator==(const HardLink &) const = default;
};

struct ChangeLine
{
    bool deletion = false;            // "*deleting": the entry left the sources or is now excluded
    std::vector<std::string> names;   // the entry (and a hard link's target), unescaped
    std::optional<HardLink> hardLink; // a hard link's line that splits one way only
};

// Whether `line` is an itemised line of the change list; `change` receives it.
bool parseChangeLine(std::string_view line, ChangeLine &change);

class Collector
{
public:
    void addChunk(const QByteArray &chunk);
    // Call once after the last chunk: a last line without a line end counts.
    void finish();
    // Every entry the copy writes (new, changed, or with changed attributes),
    // in the order rsync printed them; the names of hardLinks() among them,
    // not their targets.
    const std::vector<std::string> &changedEntries() const { return m_changed; }
    // The hard links that split one way only, name and target.
    const std::vector<HardLink> &hardLinks() const { return m_hardLinks; }
    // Every entry to remove from the clone, contents before their folder.
    const std::vector<std::string> &deletedEntries() const { return m_deleted; }
    // rsync's first message naming a problem ("rsync: ..."), else its
    // closing "rsync error: ..." line; empty when it printed neither.
    const std::string &firstProblem() const { return m_firstProblem; }

private:
    void addLine(std::string_view line);
    std::string m_partial;
    std::string m_firstProblem;
    bool m_problemNamesCause = false;
    std::vector<std::string> m_changed;
    std::vector<std::string> m_deleted;
    std::vector<HardLink> m_hardLinks;
};

} // namespace SnapshotChangeList
