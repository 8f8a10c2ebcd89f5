#pragma once

// The copy of a fast snapshot transfers exactly the entries the dry run
// named, not the whole tree again: rsync reads them from a file
// ("--files-from", one NUL-terminated path each, below "/") in which "/./"
// marks where the name inside the snapshot begins. This class traces each
// name of the snapshot back to the source it came from and writes that file.
//
// What callers may rely on:
//  - forSources() gives a list only for sources whose folders (or files)
//    are copied by name, each name once: a source whose contents are copied
//    ("/" at its end, a bootable clone) fills the snapshot's top folder
//    itself, and such a run stays ordinary;
//  - a folder is listed without a trailing "/", so rsync transfers the folder
//    itself and never looks at its other entries;
//  - besides the changed entries, the folder holding each changed or deleted
//    entry is listed (unless that folder was deleted too), so rsync gives it
//    the source's times again after its entries changed; the top folder,
//    which is no source's, is never listed.

#include <QByteArray>
#include <QStringList>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TransferList
{
public:
    static std::optional<TransferList> forSources(const QStringList &sourcesPassed);

    // "/home/a/./Data/x" for "Data/x" (the source /home/a/Data); empty for a
    // name no source holds and for the top folder.
    std::string sourcePathOf(std::string_view name) const;

    // Whether an entry of the snapshot's top folder comes from a source.
    bool holdsTopLevelName(std::string_view name) const;

    // The "--files-from" text for the entries to transfer, and the folders
    // holding them, the entries changed otherwise (linked by the run
    // itself) and the deleted entries.
    QByteArray fileList(const std::vector<std::string> &transfers, const std::vector<std::string> &changedOtherwise,
                        const std::vector<std::string> &deleted) const;

private:
    std::map<std::string, std::string, std::less<>> m_parentByName; // "Data" -> "/home/a"
};
