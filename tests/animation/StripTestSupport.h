#pragma once

// Helpers for painting the transfer strip offscreen and reading its pixels.

#include "RKAnimatingView.h"
#include "SharedDefaults.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

#include <optional>

// Icons of one solid colour, recording what was asked for.
struct SolidIconSource : TransferIconSource
{
    QColor colour = Qt::blue;
    QStringList pathsAsked;
    QStringList typesAsked;
    int *lookups = nullptr; // shared counter that outlives the source

    QIcon iconForFile(const QString &path) override
    {
        pathsAsked.append(path);
        return solid();
    }
    QIcon iconForFileType(const QString &extension) override
    {
        typesAsked.append(extension);
        return solid();
    }
    QIcon solid()
    {
        if (lookups)
            ++*lookups;
        QPixmap pixmap(256, 256);
        pixmap.fill(colour);
        return QIcon(pixmap);
    }
};

inline void storeShowAnimation(std::optional<bool> value)
{
    const auto defaults = getUserDefaults();
    if (value)
        defaults->setValue(DefaultsKey::showAnimation, *value);
    else
        defaults->remove(DefaultsKey::showAnimation);
    defaults->sync();
}

// One redraw of the view onto a white image of its size.
inline QImage renderStrip(RKAnimatingView &view)
{
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    view.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

inline bool isInk(QRgb pixel)
{
    return pixel != qRgb(255, 255, 255);
}

// The smallest rectangle holding every non-white pixel of the area.
inline QRect inkBounds(const QImage &image, const QRect &area)
{
    QRect bounds;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (isInk(image.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

inline QRect inkBounds(const QImage &image)
{
    return inkBounds(image, image.rect());
}
