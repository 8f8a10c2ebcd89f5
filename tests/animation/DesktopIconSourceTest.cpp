// The desktop's icons as the strip asks for them: never empty, even on a
// machine without an icon theme (as on Qt's offscreen platform here).

#include "StripTestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

bool hasVisiblePixels(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(58, 58)).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

TEST(DesktopIconSourceTest, AlwaysAnIconToDraw)
{
    QTemporaryDir folder;
    QFile file(folder.filePath(u"notes.txt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    DesktopIconSource source;
    struct Row
    {
        const char *name;
        QIcon icon;
    };
    const Row rows[] = {
        {"existingFile", source.iconForFile(file.fileName())},
        {"folder", source.iconForFile(folder.path())},
        {"vanishedFile", source.iconForFile(folder.filePath(u"gone.bin"_s))},
        {"knownType", source.iconForFileType(u"txt"_s)},
        {"unknownType", source.iconForFileType(u"no-such-type-here"_s)},
        {"noType", source.iconForFileType(QString())},
        {"glyph", genericFileGlyph()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(row.icon.isNull());
        EXPECT_TRUE(hasVisiblePixels(row.icon));
    }
}

// With the desktop's icons, something is drawn where the icon goes.
TEST(DesktopIconSourceTest, StripDrawsTheDesktopIcon)
{
    storeShowAnimation(std::nullopt);
    for (bool finderCopy : {false, true}) {
        SCOPED_TRACE(finderCopy);
        RKAnimatingView view;
        view.resize(400, 130);
        view.setIsFinderCopy(finderCopy);
        view.setIconInstances(TransferAnimationView::IconInstances::Empty);
        AnimatedIconInstance &instance = view.animation().getInstance(0);
        instance.offsetX = 150 - animationStepPerRedraw;
        instance.iconPath = u"/usr/share/doc/readme.txt"_s;
        instance.partialPath = u"://: doc/readme.txt"_s;
        const QImage image = renderStrip(view);
        const InstanceLayout layout = layoutInstance(view.animation().geometry(), 150, view.height());
        const QRect ink = inkBounds(image, layout.icon.toAlignedRect());
        ASSERT_FALSE(ink.isNull());
        EXPECT_GT(ink.width(), layout.icon.width() / 3);
        EXPECT_GT(ink.height(), layout.icon.height() / 3);
    }
}

} // namespace
