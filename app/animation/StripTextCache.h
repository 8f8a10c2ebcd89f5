#pragma once

// The names and percents of the strip, rendered once into pixmaps and reused
// while they stay the same, so that a redraw copies pixmaps instead of
// laying out text (laying out fourteen short texts costs several times more
// than everything else in a redraw).
//
// What callers may rely on: name() and percent() return an image of the text
// in black, one line, centred in the given width and clipped to it, top
// aligned; the image is re-rendered only when the text, width, font or
// device pixel ratio differ from the last call for the same slot.

#include <QFont>
#include <QPixmap>
#include <QString>

#include <vector>

class StripTextCache
{
public:
    void setFont(const QFont &font);
    void setDevicePixelRatio(qreal ratio);

    const QPixmap &name(int slot, const QString &text, double width);
    const QPixmap &percent(int slot, int percent, double width);

private:
    struct Entry
    {
        QString text;
        double width = 0;
        QPixmap pixmap;
    };

    const QPixmap &cached(std::vector<Entry> &entries, int slot, const QString &text, double width);
    QPixmap render(const QString &text, double width) const;
    void clear();

    QFont m_font;
    qreal m_ratio = 1;
    std::vector<Entry> m_names;
    std::vector<Entry> m_percents;
};
