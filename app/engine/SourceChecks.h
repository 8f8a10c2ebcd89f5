#pragma once

// Checks of a run's sources, made before anything is written, so that a
// backup never silently copies less than the user chose or deletes a good
// copy.
//
// What callers may rely on:
//  - resolveSourceLink() looks at the source itself only: a source that is a
//    symbolic link to a folder becomes the folder it points to (through every
//    link of a chain); links inside a source stay links;
//  - sharedFinalNames() names every final folder name that two or more
//    sources whose folder is copied would both write into the destination;
//  - emptySourceRefusal() answers only for a Sync that deletes (a run that
//    adds or updates loses nothing): a source that is empty, missing or
//    unreadable while its copy in the destination holds something;
//  - destinationRefusal() answers for every run and every front end: a
//    destination inside a source (on its file system) copies the older
//    backups again at every run, unless the destination is excluded from
//    the copy;
//  - the functions read the file system and nothing else; they write nothing.

#include <QString>
#include <QStringList>

#include <optional>

namespace SourceChecks {

struct ResolvedSource
{
    QString path;         // what rsync is given
    bool wasLink = false; // the source was a symbolic link to a folder
};

ResolvedSource resolveSourceLink(const QString &source);

// Entries under `from` rewritten to lie under `to` (the user's exclusions
// named through a link); others unchanged.
QStringList rebasedEntries(const QStringList &entries, const QString &from, const QString &to);

// Final folder names shared by sources (as passed) whose folder is copied.
QStringList sharedFinalNames(const QStringList &sourcesPassed);

struct EmptySourceRefusal
{
    QString source;
    QString copy; // the source's copy in the destination
    bool unreadable = false;
};

// For a Sync with "--delete": the first source (as passed) that is empty or
// cannot be read while its copy in `backupDest` (ending in "/") is not empty.
std::optional<EmptySourceRefusal> emptySourceRefusal(const QStringList &sourcesPassed, const QString &backupDest);

// The first of `sources` and `destination` that is not an absolute path;
// nothing when all are.
std::optional<QString> firstRelativePath(const QStringList &sources, const QString &destination);
QString relativePathText(const QString &path);

// Why the sources must not be copied into `destination` (paths as the user
// gave them, links resolved here; the destination need not exist yet):
// "the destination D is inside the source S: the copy would copy itself"
// when D lies in S on the same file system (rsync stays on the source's file
// system) and no entry of `excludedFiles` that lies inside the first source
// holds D (exclusions apply below the first source only), or "copying S into
// D would write over the source itself" when a folder copied without "/"
// would land on itself (never for a snapshot, which is written into a new
// folder of the destination). Empty when the copy may go ahead.
enum class CopyInto { Destination, NewSnapshotFolder };
QString destinationRefusal(const QStringList &sources, const QString &destination,
                           const QStringList &excludedFiles = {}, CopyInto into = CopyInto::Destination);

// The alert's informative texts for the two refusals (the message is the
// volume alert's "Can't start backup").
QString refusalText(const EmptySourceRefusal &refusal);
QString sharedNamesText(const QStringList &names);
// destinationRefusal() as an alert's informative text.
QString destinationRefusalText(const QString &refusal);

} // namespace SourceChecks
