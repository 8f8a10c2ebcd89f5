#pragma once

// The hand-over of a file-manager "Paste" to a new application process,
// through two keys of the shared defaults suite:
//   "selectedForPaste": string, the path of the target folder;
//   "selectedForCopy":  bytes, an XML property list holding an array of file
//                       URL strings, the copied items in selection order (an
//                       empty array when nothing was copied).
//
// What callers may rely on:
//  - writeFinderCopyRequest() stores both keys and saves the suite before it
//    returns, so a process started afterwards sees them;
//  - takeFinderCopyRequest() reads and removes both keys in one step under a
//    lock file shared by every process: of several processes taking at once,
//    exactly one gets the request, the others see a normal launch;
//  - a request is returned exactly when both keys hold a value; when only one
//    does, nothing is returned and the suite is left alone;
//  - sources are absolute local paths without a trailing "/" (rsync would
//    copy a folder's contents instead of the folder for "dir/"); an item or
//    a target folder that is not an absolute local path (another scheme or
//    host, a relative path, a name like "--remove-source-files") is named in
//    refusedItems instead, and such a request must copy nothing. Sources can
//    be empty.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <optional>

class QSettings;

// An XML property-list array of the URLs' strings, in the given order.
QByteArray archiveFileURLs(const QList<QUrl> &urls);

// The URLs of such an archive, in order. Anything that is not a property-list
// array of strings gives an empty list; strings that are not URLs are skipped.
QList<QUrl> unarchiveFileURLs(const QByteArray &archive);

struct FinderCopyRequest
{
    // The copied items' local paths, in selection order.
    QStringList sources;
    // The target folder's path.
    QString destination;
    // What was handed over and is not an absolute local path, as given.
    QStringList refusedItems = {};

    friend bool operator==(const FinderCopyRequest &, const FinderCopyRequest &) = default;
};

// The request that the two key values describe, or nothing when either is
// absent. Pure: reads nothing else.
std::optional<FinderCopyRequest> finderCopyRequestFrom(const QVariant &selectedForPaste,
                                                       const QVariant &selectedForCopy);

// Why a request with refused items copies nothing, naming them.
QString finderCopyRefusalText(const FinderCopyRequest &request);

// Writes "selectedForPaste" and "selectedForCopy" into the shared suite and
// saves it. Returns whether the suite was saved.
bool writeFinderCopyRequest(const QString &targetFolderPath, const QList<QUrl> &copiedItems);

// Start-up: the pending request, read and removed from the shared suite and
// the suite saved, or nothing for a normal launch.
std::optional<FinderCopyRequest> takeFinderCopyRequest();
