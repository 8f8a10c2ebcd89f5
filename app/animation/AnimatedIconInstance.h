#pragma once

// One moving icon of the transfer strip: the file it carries across the view
// and where it stands. A plain record; the motion rules in TransferAnimation
// move it and the view draws it.

#include <QString>
#include <QVariant>

#include <optional>

struct AnimatedIconInstance
{
    // Left edge of the icon's drawing square, in view units from the left.
    double offsetX = 0;
    // Full path of the file this icon stands for.
    std::optional<QString> iconPath;
    // Raw output line for the file (names the file type in Finder-copy mode).
    std::optional<QString> partialPath;
    // Percent shown under the icon.
    std::optional<int> percentComplete;
    // Cached icon image (the drawing half stores a QPixmap here) and the
    // display name drawn with it: looked up together once per trip across
    // the view and cleared when the instance wraps. Invalid / null until then.
    QVariant icon;
    QString name;
};
