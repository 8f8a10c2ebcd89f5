#pragma once

// The copy program's argument list for one backup run, and the pieces it is
// made from, as pure functions over plain data (no file system, no clock).
//
// What callers may rely on: backupArgumentList() returns exactly the list the
// run passes to rsync (and shows as argument rows), in order; the dry run is
// the same list behind "--dry-run". The sources and the target come last,
// after "--". Nothing here touches the disk.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

// The output marker each copied item is printed with; the output reader
// recognises item lines by it. "\t" is one real TAB.
inline constexpr char16_t outFormatArgument[] = u"--out-format=\t://: %n";

struct BackupArgumentInput
{
    QString excludeListPath; // the bundle's excludelist.txt
    bool snapshot = false;   // mode row other than 0
    QString linkDest;        // Snapshot mode: previous snapshot, may be empty
    bool protectRoot = true; // user default "protectRoot" (absent = true)
    bool isFinderCopy = false;
    bool isRestore = false;
    QStringList exclusionPatterns; // from exclusionPatterns(), in order
    // Non-empty: the file that holds the exclusion patterns that fit one
    // (exclusionFileContents()); only the others are passed as pairs.
    QString exclusionFilePath;
    QStringList backupSources;   // after the bootable-clone rule
    QStringList trimmedSources;  // after trimming, before the bootable-clone rule
    QString backupDest;          // ends in "/"
    QString snapshotFolderName;  // the folder this Snapshot run writes into, inside backupDest
    bool resumingFolder = false; // Snapshot mode: that folder holds an earlier run's unfinished copy
    bool bootableClone = false;  // the bootable-clone rule replaced the sources
    // What the destination can hold (DestinationCapabilities): ACLs ("-A"),
    // extended attributes ("-X"), holes of sparse files ("-S"); owners and
    // permissions it cannot hold are not set ("--no-owner --no-group",
    // "--no-perms"), as rsync would fail on every file.
    bool keepOwners = true;
    bool keepPermissions = true;
    bool keepAcls = false;
    bool keepXattrs = false;
    bool keepSparse = false;
};

// The folder, inside each destination folder, where rsync keeps an
// interrupted file until a later run resumes it.
inline QString partialDirName()
{
    return QStringLiteral(".rsync-partial");
}

// The list passed to rsync. In Snapshot mode its last element is the
// folder the run writes into (or backupDest for a first bootable clone).
// Completing an earlier run's folder adds "--delete", so what has left the
// source since then does not stay in the snapshot.
QStringList backupArgumentList(const BackupArgumentInput &input);

// Whether the "--exclude" pairs of `patterns` would make the argument list
// too long for the kernel to start rsync with; they then go in a file.
bool exclusionsNeedFile(const QStringList &patterns);

// Whether rsync can read `pattern` as a line of an "--exclude-from" file:
// it holds no line break.
bool fitsExclusionFile(const QString &pattern);

// The patterns that fit such a file, one line each, in order.
QByteArray exclusionFileContents(const QStringList &patterns);

// The sources the list passes (Snapshot without link destination passes the
// trimmed sources, every other form backupSources).
QStringList sourcesPassed(const BackupArgumentInput &input);

// Each source loses one trailing "/" unless it is exactly "/".
QStringList trimmedSources(const QStringList &sources);

// "/" appended unless already there.
QString withTrailingSlash(const QString &path);

// "VLM Snapshot " + the time as "dd-MM-yyyy EEE HH-mm AM/PM" in `locale`.
QString snapshotFolderName(const QDateTime &startTime, const QLocale &locale);

// The "--exclude" patterns for the user's excluded paths. Only entries inside
// `sourcePassed` (the first source as passed to rsync: its folder is copied,
// or its contents when it ends in "/") count, tested on whole path
// components; each pattern is anchored at the transfer root ("/docs/build"
// for /home/a/docs/build and the source /home/a/docs, "/build" when the
// contents of /home/a/docs/ or of "/" are copied), so it never matches a
// same-named entry deeper down. Wildcard characters in names are escaped so
// rsync matches them literally. The entry "/" gives the pattern "/";
// an entry equal to the source gives nothing.
QStringList exclusionPatterns(const QStringList &excludedFiles, const QString &sourcePassed);

// The system's own virtual or throw-away contents, as absolute paths (a
// final "*" or "*.deb" is a wildcard): /proc/*, /sys/*, /dev/*, /run/*,
// /tmp/*, /var/tmp/*, downloaded package files, /lost+found and swap files.
QStringList systemPathExclusions();

// The "--exclude" patterns for systemPathExclusions(): each entry applies only
// to a source (as passed) that contains it, below the source itself, and is
// anchored at that source's transfer root, so a folder of the user's that is
// merely named dev, run or tmp is copied whole. When a whole system is copied
// ("/", or the bootable-clone rule passed a system disk's contents), every
// entry applies relative to that system's root. No duplicates.
QStringList systemExclusionPatterns(const QStringList &sourcesPassed, bool bootableClone);
