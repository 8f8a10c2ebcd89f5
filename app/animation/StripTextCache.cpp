#include "StripTextCache.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

void StripTextCache::setFont(const QFont &font)
{
    if (font != m_font) {
        m_font = font;
        clear();
    }
}

void StripTextCache::setDevicePixelRatio(qreal ratio)
{
    if (ratio != m_ratio) {
        m_ratio = ratio;
        clear();
    }
}

const QPixmap &StripTextCache::name(int slot, const QString &text, double width)
{
    return cached(m_names, slot, text, width);
}

const QPixmap &StripTextCache::percent(int slot, int percent, double width)
{
    return cached(m_percents, slot, QString::number(percent) + u'%', width);
}

const QPixmap &StripTextCache::cached(std::vector<Entry> &entries, int slot, const QString &text, double width)
{
    if (slot >= int(entries.size()))
        entries.resize(slot + 1);
    Entry &entry = entries[slot];
    if (entry.pixmap.isNull() || entry.text != text || entry.width != width) {
        entry.text = text;
        entry.width = width;
        entry.pixmap = render(text, width);
    }
    return entry.pixmap;
}

QPixmap StripTextCache::render(const QString &text, double width) const
{
    const QFontMetricsF metrics(m_font);
    const QSizeF size(width, std::ceil(metrics.height()));
    QPixmap pixmap((size * m_ratio).toSize());
    pixmap.setDevicePixelRatio(m_ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    // drawText clips to the rectangle (no Qt::TextDontClip): a long name is
    // neither wrapped nor shortened but cut at the edges.
    painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
    return pixmap;
}

void StripTextCache::clear()
{
    m_names.clear();
    m_percents.clear();
}
