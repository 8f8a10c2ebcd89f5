#include "TransferIconSource.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon DesktopIconSource::iconForFile(const QString &path)
{
    const QIcon icon = m_provider.icon(QFileInfo(path));
    return icon.isNull() ? genericFileIcon() : icon;
}

QIcon DesktopIconSource::iconForFileType(const QString &extension)
{
    if (!extension.isEmpty()) {
        // Matching a made-up name by extension alone never reads a file.
        const QMimeType type
            = m_mimeTypes.mimeTypeForFile(QStringLiteral("file.") + extension, QMimeDatabase::MatchExtension);
        if (!type.isDefault()) {
            const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
            if (!icon.isNull())
                return icon;
        }
    }
    return genericFileIcon();
}

QIcon DesktopIconSource::genericFileIcon()
{
    if (m_genericFileIcon.isNull()) {
        m_genericFileIcon = m_provider.icon(QAbstractFileIconProvider::File);
        if (m_genericFileIcon.isNull() || m_genericFileIcon.availableSizes().isEmpty())
            m_genericFileIcon = genericFileGlyph();
    }
    return m_genericFileIcon;
}

QIcon genericFileGlyph()
{
    // Drawn large once; QIcon scales it down smoothly to the strip's sizes.
    constexpr int size = 128;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF page(22, 8, 84, 112);
    constexpr double fold = 26;
    QPainterPath outline;
    outline.moveTo(page.topLeft());
    outline.lineTo(page.right() - fold, page.top());
    outline.lineTo(page.right(), page.top() + fold);
    outline.lineTo(page.bottomRight());
    outline.lineTo(page.bottomLeft());
    outline.closeSubpath();
    painter.setPen(QPen(QColor(0x60, 0x68, 0x70), 4));
    painter.setBrush(QColor(0xf4, 0xf6, 0xf8));
    painter.drawPath(outline);

    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right() - fold, page.top() + fold);
    corner.lineTo(page.right(), page.top() + fold);
    painter.setBrush(QColor(0xc8, 0xcf, 0xd6));
    painter.drawPath(corner);

    painter.setPen(QPen(QColor(0x90, 0x98, 0xa0), 5, Qt::SolidLine, Qt::RoundCap));
    for (int line = 0; line < 5; ++line) {
        const double y = page.top() + 46 + line * 13;
        painter.drawLine(QPointF(page.left() + 14, y), QPointF(page.right() - 14, y));
    }
    painter.end();
    return QIcon(pixmap);
}
