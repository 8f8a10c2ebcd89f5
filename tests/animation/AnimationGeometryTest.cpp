// The geometry table of both modes and its mapping onto top-left widget
// coordinates.

#include "AnimationGeometry.h"

#include <gtest/gtest.h>

namespace {

struct ModeRow
{
    const char *name;
    bool isFinderCopy;
    int instanceCount;
    double iconSize, side, squareBottom, opacity;
    double threshold, reentry;
};

const ModeRow modeRows[] = {
    {"backup", false, 4, 58, 85, 37, 0.7, -116, -141},
    {"finderCopy", true, 7, 40, 55, 24, 0.2, -80, -105},
};

TEST(AnimationGeometryTest, ModeTable)
{
    for (const ModeRow &row : modeRows) {
        SCOPED_TRACE(row.name);
        const AnimationGeometry &g = AnimationGeometry::forMode(row.isFinderCopy);
        EXPECT_EQ(g.instanceCount, row.instanceCount);
        EXPECT_DOUBLE_EQ(g.iconSize, row.iconSize);
        EXPECT_DOUBLE_EQ(g.side, row.side);
        EXPECT_DOUBLE_EQ(g.squareBottom, row.squareBottom);
        EXPECT_DOUBLE_EQ(g.opacity, row.opacity);
        EXPECT_DOUBLE_EQ(g.pickUpThreshold(), row.threshold);
        EXPECT_DOUBLE_EQ(g.reentryPosition(), row.reentry);
        EXPECT_GE(preferredStripHeight(g), g.squareBottom + g.side);
    }
}

struct LayoutRow
{
    const char *name;
    bool isFinderCopy;
    double offsetX, viewHeight;
    QRectF square, percent;
    // The icon image as it lands in the square: scaled by side / (size + 16).
    double iconLeft, iconSide;
};

const LayoutRow layoutRows[] = {
    // Square 37 above the bottom; percent label 47 below the square's bottom.
    {"backup", false, 100, 130, QRectF(100, 8, 85, 85), QRectF(100, 85, 85, 55), 100 + 8 * 85.0 / 74, 58 * 85.0 / 74},
    {"backupTaller", false, -20, 200, QRectF(-20, 78, 85, 85), QRectF(-20, 155, 85, 55), -20 + 8 * 85.0 / 74,
     58 * 85.0 / 74},
    // Square 24 above the bottom; percent label 15 left of it and 49 below.
    {"finderCopy", true, 50, 90, QRectF(50, 11, 55, 55), QRectF(35, 60, 85, 55), 50 + 8 * 55.0 / 56, 40 * 55.0 / 56},
};

TEST(AnimationGeometryTest, LayoutFromBottomLeftOrigin)
{
    for (const LayoutRow &row : layoutRows) {
        SCOPED_TRACE(row.name);
        const InstanceLayout layout
            = layoutInstance(AnimationGeometry::forMode(row.isFinderCopy), row.offsetX, row.viewHeight);
        EXPECT_EQ(layout.square, row.square);
        EXPECT_EQ(layout.percent, row.percent);
        EXPECT_DOUBLE_EQ(layout.icon.left(), row.iconLeft);
        EXPECT_DOUBLE_EQ(layout.icon.width(), row.iconSide);
        EXPECT_DOUBLE_EQ(layout.icon.height(), row.iconSide);
        // The icon stands on the square's bottom edge, centred, and leaves a
        // band for the name at the top.
        EXPECT_DOUBLE_EQ(layout.icon.bottom(), row.square.bottom());
        EXPECT_NEAR(layout.icon.center().x(), row.square.center().x(), 1e-9);
        EXPECT_GT(layout.icon.top() - row.square.top(), 15);
    }
}

} // namespace
