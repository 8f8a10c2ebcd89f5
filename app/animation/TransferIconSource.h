#pragma once

// Where the transfer strip gets its icons. The strip asks once per trip of
// an instance, so a lookup may be slow; it must not return a null icon
// (the desktop source falls back to a drawn generic file glyph).

#include <QFileIconProvider>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

class TransferIconSource
{
public:
    virtual ~TransferIconSource() = default;
    // The icon of the file at path.
    virtual QIcon iconForFile(const QString &path) = 0;
    // The icon of a file type, given as an extension without its dot
    // (possibly empty).
    virtual QIcon iconForFileType(const QString &extension) = 0;
};

// The desktop's icons: the file manager's icon for a path, the icon theme's
// icon for a MIME type by extension; a generic file glyph when the theme
// has nothing (no theme installed, or Qt's offscreen platform).
class DesktopIconSource : public TransferIconSource
{
public:
    QIcon iconForFile(const QString &path) override;
    QIcon iconForFileType(const QString &extension) override;

private:
    QIcon genericFileIcon();

    QFileIconProvider m_provider;
    QMimeDatabase m_mimeTypes;
    QIcon m_genericFileIcon;
};

// A plain document page with a folded corner, drawn (no theme needed).
QIcon genericFileGlyph();
