#include "AnimationGeometry.h"

#include <cmath>

namespace {

constexpr AnimationGeometry backupGeometry{
    .instanceCount = 4,
    .iconSize = 58,
    .side = 85,
    .squareBottom = 37,
    .opacity = 0.7,
    .percentLeft = 0,
    .percentBelow = 47,
    .percentWidth = 85,
    .percentHeight = 55,
};

constexpr AnimationGeometry finderCopyGeometry{
    .instanceCount = 7,
    .iconSize = 40,
    .side = 55,
    .squareBottom = 24,
    .opacity = 0.2,
    .percentLeft = -15,
    .percentBelow = 49,
    .percentWidth = 85,
    .percentHeight = 55,
};

// A rectangle given by its left, bottom, width and height above the bottom
// edge of a view, in top-left coordinates.
QRectF fromBottomLeft(double left, double bottom, double width, double height, double viewHeight)
{
    return QRectF(left, viewHeight - bottom - height, width, height);
}

} // namespace

const AnimationGeometry &AnimationGeometry::forMode(bool isFinderCopy)
{
    return isFinderCopy ? finderCopyGeometry : backupGeometry;
}

InstanceLayout layoutInstance(const AnimationGeometry &g, double offsetX, double viewHeight)
{
    InstanceLayout layout;
    layout.square = fromBottomLeft(offsetX, g.squareBottom, g.side, g.side, viewHeight);

    // The source rectangle (-margin, 0, size + 2 margin, size + 2 margin) of
    // the image, measured from the image's bottom left, fills the square.
    const double scale = g.side / (g.iconSize + 2 * animationIconMargin);
    const double drawn = g.iconSize * scale;
    layout.icon = fromBottomLeft(offsetX + animationIconMargin * scale, g.squareBottom, drawn, drawn, viewHeight);

    layout.percent = fromBottomLeft(offsetX + g.percentLeft, g.squareBottom - g.percentBelow, g.percentWidth,
                                    g.percentHeight, viewHeight);
    return layout;
}

int preferredStripHeight(const AnimationGeometry &g)
{
    return int(std::ceil(g.squareBottom + g.side)) + 8;
}
