#pragma once

// Sizes and positions of the transfer strip in its two modes, and where one
// instance's icon, name and percent go in a view of a given height.
//
// The geometry is defined with the origin at the bottom left (y grows
// upwards); layoutInstance() maps it onto Qt's top-left origin, so a square
// "37 above the bottom" keeps that distance from the widget's bottom edge
// whatever the widget's height. All values are in device-independent pixels.

#include <QRectF>

struct AnimationGeometry
{
    int instanceCount;
    // Side of the icon image.
    double iconSize;
    // Side of the drawing square that holds the icon and the name.
    double side;
    // Bottom of the drawing square above the view's bottom edge.
    double squareBottom;
    // Opacity of the icon and the texts.
    double opacity;
    // Percent label: its left edge relative to the square's left edge, and
    // how far its bottom lies below the square's bottom.
    double percentLeft;
    double percentBelow;
    double percentWidth;
    double percentHeight;

    // An instance at or left of this position picks up the current item:
    // twice the icon size to the left of the view, so it is wholly hidden.
    double pickUpThreshold() const { return -2.0 * iconSize; }
    // Where an instance that passed the right edge starts its next trip.
    double reentryPosition() const { return pickUpThreshold() - 25.0; }

    static const AnimationGeometry &forMode(bool isFinderCopy);
};

// Every redraw moves every instance this far to the right.
inline constexpr double animationStepPerRedraw = 2.65;
// A new instance with index i starts this far times i left of the origin.
inline constexpr double animationInstanceSpacing = 100.0;
// The icon image is drawn from a source rectangle 8 units wider than the
// image on each side and 16 taller at the top, so it fills the bottom of
// the square, centred, and leaves a band above it for the name.
inline constexpr double animationIconMargin = 8.0;

// Rectangles of one instance in the widget's own (top-left origin) units.
struct InstanceLayout
{
    QRectF square;  // icon and name; the name is clipped to it
    QRectF icon;    // where the icon image lands inside the square
    QRectF percent; // percent label
};

InstanceLayout layoutInstance(const AnimationGeometry &geometry, double offsetX, double viewHeight);

// Height that shows the whole drawing square in a mode.
int preferredStripHeight(const AnimationGeometry &geometry);
