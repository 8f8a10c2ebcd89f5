#pragma once

// The files an interrupted copy left in rsync's partial folders
// (partialDirName() inside each folder of a destination), found and removed
// before the next copy starts.
//
// rsync copies a local destination whole ("--whole-file" is its default for
// local copies), so it never resumes from such a file: it writes the whole
// file again beside it. A partial file is therefore only weight: after a
// run that ran out of space it holds exactly the room the next copy needs,
// and the partial folder keeps it out of every "--delete", so it would stay
// even when its entry has left the sources.
//
// What callers may rely on:
//  - only regular files directly inside a folder named partialDirName() are
//    removed, then that folder when it is empty; nothing else is touched;
//  - the walk never follows a symbolic link (each folder is opened below its
//    parent with O_NOFOLLOW) and stays on the file system of `root`;
//  - a missing or unreadable folder is passed over: it cannot hold what
//    this run would reuse.

#include <QString>
#include <QList>
#include <QStringList>

#include <cstddef>

namespace PartialFiles {

struct Removal
{
    std::size_t removed = 0; // partial files removed
    QString firstFailure;    // the first that could not be, and why
};

// A folder a copy writes into; `wholeTree` false: only the files copied
// straight into it (a source that is a single file), not its subfolders.
struct Landing
{
    QString folder;
    bool wholeTree = true;

    bool operator==(const Landing &) const = default;
};

// Removes the partial files in `landing`.
Removal removeIn(const Landing &landing);

// Where a copy of `sourcesPassed` into `destination` writes: the whole
// destination for a source whose contents are copied ("/" at its end),
// destination + the last component for a folder, and the destination's own
// files for anything else.
QList<Landing> landingsOf(const QStringList &sourcesPassed, const QString &destination);

} // namespace PartialFiles
