#pragma once

// What a destination folder's file system can hold of what rsync copies:
// hard links, owners, permissions, user extended attributes and POSIX ACLs. exFAT, vfat and many network shares
// hold some of them not at all, and rsync, asked to keep them there, fails
// on every file.
//
// What callers may rely on:
//  - probe() tries each one once, on a file of its own in a private folder
//    it creates inside the destination (mode 0700, a fresh name) and removes
//    again with everything in it; nothing else in the destination is
//    touched;
//  - when that folder cannot be made (the destination is missing, read-only
//    or not ours), `probed` is false and every answer is true: the copy
//    then goes on as before and rsync names the problem itself;
//  - the texts are for the person running the backup.

#include <QString>
#include <QStringList>

struct DestinationCapabilities
{
    bool probed = false;
    bool hardLinks = true;
    // Owners are tried with root's rights only (nobody else can give a file
    // away); without them, a file system that keeps no permissions is taken
    // to keep no owners either, as FAT-like ones do.
    bool owners = true;
    bool permissions = true;
    bool userXattrs = true;
    bool acls = true;

    static DestinationCapabilities probe(const QString &destination);

    // What the destination cannot keep, in words, in a fixed order.
    QStringList cannotKeep() const;
    // "DEST cannot keep ACLs and extended attributes; the copy goes on
    // without them." Empty when it keeps everything.
    QString cannotKeepText(const QString &destination) const;
    // Why a Snapshot run must not write there; empty when it may.
    QString snapshotRefusal(const QString &destination) const;
};
