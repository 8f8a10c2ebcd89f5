#pragma once

// Totals the sizes of file trees and, in delete mode, removes what it totals.
//
// Every item is first touched (its modification date set to now); an item
// whose touch fails is neither counted nor removed. Directories are walked
// depth first, each folder met before its contents, through directory file
// descriptors opened with O_NOFOLLOW, so a symbolic link is only ever counted
// and removed as a link and the walk never leaves the tree it was given.
// In delete mode a folder met inside the tree goes as a whole, uncounted
// contents included. Errors are skipped silently.

#include <cstdint>
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
    bool touchAt(int directoryFd, const char *name);
    int64_t sizeAt(int directoryFd, const char *name, bool *isDirectory);
    void walkDirectory(int directoryFd);
    void removeTreeAt(int directoryFd, const char *name);

    Mode m_mode;
    int64_t m_total = 0;
};
