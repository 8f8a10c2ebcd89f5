#pragma once

// Totals the sizes of file trees and, in delete mode, removes what it totals.
//
// Every item is first touched (its modification date set to now); an item
// whose touch fails is neither counted nor removed. Directories are walked
// depth first, each folder met before its contents. The walk never follows a
// symbolic link (a link is only counted and removed as a link), never leaves
// the file system the path is on (a mount point inside is left alone, not
// touched, counted or removed), and holds no descriptor per level, so trees
// deeper than the open-file limit are walked whole. In delete mode a folder
// met inside the tree goes as a whole, uncounted contents included, and a
// path whose last part is "." or ".." is refused, as is "/" (as rm refuses
// them: "a/b/.." names a with all of b's siblings). Errors are skipped
// silently.

#include <cstdint>
#include <fts.h>
#include <string>

class SizeReaper
{
public:
    enum class Mode { Count, Delete };

    explicit SizeReaper(Mode mode) : m_mode(mode) {}

    // Processes one command-line path and adds what it counted to total().
    void processPath(const std::string &path);
    int64_t total() const { return m_total; }

private:
    void walkDirectory(const std::string &path);
    // One entry below the top folder; answers whether fts may enter it.
    bool visit(FTSENT *entry);
    void leave(FTSENT *entry);

    Mode m_mode;
    int64_t m_total = 0;
    // The level of the folder being removed as a whole; -1 when none.
    int m_removalLevel = -1;
};
