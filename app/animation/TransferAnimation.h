#pragma once

// The motion rules of the transfer strip, without any drawing: what the task
// delegate tells the view (current item, raw line, percent, mode), the list
// of moving instances, and what one redraw does to them.
//
// What callers may rely on:
//  - advance() is one redraw's motion: every instance moves one step to the
//    right; one that passed the right edge re-enters left of the view and
//    forgets its cached icon and name; one at or left of the pick-up
//    threshold takes the current item (and forgets its cached icon and name,
//    so they are looked up again for the item it finally carries);
//  - advance() returns the instances to draw: those with a file that have
//    left the pick-up zone. An instance therefore needs one icon lookup per
//    trip, made after its last pick-up, so its icon and name always belong
//    to the same item;
//  - with no instance list (between copies) advance() moves nothing, creates
//    nothing and returns nothing;
//  - the setters only store; nothing here reads the clock or the disk.

#include "AnimatedIconInstance.h"
#include "AnimationGeometry.h"

#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <optional>

class TransferAnimation
{
public:
    using Instances = QList<AnimatedIconInstance>;
    using DrawList = QVarLengthArray<int, 8>;

    const std::optional<QString> &filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    const QString &partialPath() const { return m_partialPath; }
    void setPartialPath(const QString &line) { m_partialPath = line; }
    std::optional<int> percent() const { return m_percent; }
    void setPercent(std::optional<int> percent) { m_percent = percent; }
    bool isFinderCopy() const { return m_isFinderCopy; }
    // A change of mode forgets the cached icons and names: they were made
    // for the other mode's size and by the other mode's rule.
    void setIsFinderCopy(bool isFinderCopy);
    const std::optional<Instances> &iconInstances() const { return m_instances; }
    void setIconInstances(std::optional<Instances> instances) { m_instances = std::move(instances); }

    const AnimationGeometry &geometry() const { return AnimationGeometry::forMode(m_isFinderCopy); }

    // The instance at index; when the list has no such index a new instance
    // at -100 x index is appended and returned. With no list the new
    // instance is kept nowhere: the reference is valid until the next call.
    AnimatedIconInstance &getInstance(int index);

    // One redraw's motion in a view of the given width (see above). The
    // indices refer to iconInstances().
    DrawList advance(double viewWidth);

private:
    void pickUp(AnimatedIconInstance &instance) const;
    static void forgetLookUp(AnimatedIconInstance &instance);

    std::optional<QString> m_filePath;
    QString m_partialPath;
    std::optional<int> m_percent;
    bool m_isFinderCopy = false;
    std::optional<Instances> m_instances;
    AnimatedIconInstance m_detached;
};

// The file type the Finder-copy icon stands for: the extension of the last
// component of a path or raw output line ("txt" for "://: docs/a.txt"),
// empty when the name has none. A name that only starts with a dot
// (".profile") has no extension.
QString pathExtension(const QString &path);

// The last component of a path or raw output line, a trailing "/" ignored
// ("a.txt" for "://: docs/a.txt", "docs" for "docs/").
QString lastPathComponent(const QString &path);
