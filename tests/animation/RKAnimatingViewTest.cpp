// The strip painted offscreen: what is drawn where, at which opacity, and
// how often icons are looked up.

#include "StripTestSupport.h"

#include <QMouseEvent>
#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

class StripTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        storeShowAnimation(std::nullopt);
        auto source = std::make_unique<SolidIconSource>();
        icons = source.get();
        view.setIconSource(std::move(source));
        view.resize(400, 130);
    }

    // One instance that stands at offsetX after the next redraw; no current
    // item, so no other instance picks anything up.
    AnimatedIconInstance &placeInstance(double offsetX, const QString &path)
    {
        view.setIconInstances(TransferAnimationView::IconInstances::Empty);
        AnimatedIconInstance &instance = view.animation().getInstance(0);
        instance.offsetX = offsetX - animationStepPerRedraw;
        instance.iconPath = path;
        return instance;
    }

    InstanceLayout layoutAt(double offsetX) const
    {
        return layoutInstance(view.animation().geometry(), offsetX, view.height());
    }

    RKAnimatingView view;
    SolidIconSource *icons = nullptr;
};

bool near(QRgb pixel, QColor expected, int tolerance = 3)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance
        && std::abs(qGreen(pixel) - expected.green()) <= tolerance
        && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

// Pixels of the blue test icon, at any opacity, against text and white.
QRect blueBounds(const QImage &image, const QRect &area)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qBlue(p) > qRed(p) + 60)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

void expectSameRect(const QRect &actual, const QRectF &expected)
{
    EXPECT_NEAR(actual.left(), expected.left(), 1.0);
    EXPECT_NEAR(actual.right() + 1, expected.right(), 1.0);
    EXPECT_NEAR(actual.top(), expected.top(), 1.0);
    EXPECT_NEAR(actual.bottom() + 1, expected.bottom(), 1.0);
}

TEST_F(StripTest, HiddenByThePreferenceDrawsAndMovesNothing)
{
    storeShowAnimation(false);
    placeInstance(100, u"/src/report.txt"_s);
    const double before = view.animation().getInstance(0).offsetX;
    EXPECT_TRUE(inkBounds(renderStrip(view)).isNull());
    EXPECT_DOUBLE_EQ(view.animation().getInstance(0).offsetX, before);
    EXPECT_TRUE(icons->pathsAsked.isEmpty());

    // Stored as true, or not stored at all: drawn.
    for (std::optional<bool> stored : {std::optional<bool>(true), std::optional<bool>()}) {
        storeShowAnimation(stored);
        placeInstance(100, u"/src/report.txt"_s);
        EXPECT_FALSE(inkBounds(renderStrip(view)).isNull());
    }
}

TEST_F(StripTest, NoInstanceListDrawsNothing)
{
    view.setFilePath(u"/src/report.txt"_s);
    view.setPartialPath(u"\t://: src/report.txt"_s);
    view.setPercent(50);
    for (bool finderCopy : {false, true}) {
        view.setIsFinderCopy(finderCopy);
        for (int redraw = 0; redraw < 300; ++redraw)
            ASSERT_TRUE(inkBounds(renderStrip(view)).isNull()) << redraw;
    }
    EXPECT_TRUE(icons->pathsAsked.isEmpty());
    EXPECT_TRUE(icons->typesAsked.isEmpty());
}

TEST_F(StripTest, IconAndNameWhereTheGeometrySays)
{
    struct Row
    {
        int height;
        double offsetX;
    };
    for (const Row row : {Row{130, 100}, Row{130, 250.5}, Row{180, 20}}) {
        SCOPED_TRACE(row.offsetX);
        view.resize(400, row.height);
        placeInstance(row.offsetX, u"/src/report.txt"_s);
        const QImage image = renderStrip(view);
        const InstanceLayout layout = layoutAt(row.offsetX);

        EXPECT_EQ(icons->pathsAsked.last(), u"/src/report.txt"_s);
        expectSameRect(blueBounds(image, image.rect()), layout.icon);
        // The icon at 0.7 opacity over white.
        EXPECT_TRUE(near(image.pixel(layout.icon.center().toPoint()), QColor(77, 77, 255)));

        // Nothing outside the square; the name in the band above the icon.
        const QRect ink = inkBounds(image);
        EXPECT_TRUE(layout.square.toAlignedRect().contains(ink));
        const QRect band = QRectF(layout.square.topLeft(), layout.icon.topRight()).toAlignedRect();
        const QRect name = inkBounds(image, band.adjusted(0, 0, 0, -1));
        ASSERT_FALSE(name.isNull());
        EXPECT_EQ(view.animation().getInstance(0).name, u"report.txt"_s);
        EXPECT_NEAR(name.center().x(), layout.square.center().x(), 2.0);
    }
}

TEST_F(StripTest, LongNameIsClippedNotWrapped)
{
    placeInstance(150, u"/src/a-very-long-file-name-that-never-fits-in-the-square.txt"_s);
    const QImage image = renderStrip(view);
    const InstanceLayout layout = layoutAt(150);
    const QRect square = layout.square.toAlignedRect();

    // Across the whole square and no further.
    const QRect name = inkBounds(image, QRect(0, square.top(), image.width(), int(layout.icon.top()) - square.top()));
    EXPECT_LE(name.left(), square.left() + 1);
    EXPECT_GE(name.right(), square.right() - 1);
    EXPECT_TRUE(square.contains(inkBounds(image)));
    // No second line over the icon.
    const QRect inner = layout.icon.toAlignedRect().adjusted(2, 2, -2, -2);
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x)
            ASSERT_TRUE(near(image.pixel(x, y), QColor(77, 77, 255))) << x << "," << y;
}

TEST_F(StripTest, PercentUnderTheIcon)
{
    struct Row
    {
        const char *name;
        std::optional<int> percent;
    };
    int widthOf37 = 0;
    for (const Row &row : {Row{"none", std::nullopt}, Row{"37", 37}, Row{"100", 100}}) {
        SCOPED_TRACE(row.name);
        placeInstance(100, u"/src/report.txt"_s).percentComplete = row.percent;
        const QImage image = renderStrip(view);
        const InstanceLayout layout = layoutAt(100);
        const QRect belowSquare = QRectF(layout.percent.left(), layout.square.bottom(), layout.percent.width(),
                                         layout.percent.bottom() - layout.square.bottom())
                                      .toAlignedRect();
        const QRect ink = inkBounds(image, belowSquare);
        EXPECT_EQ(ink.isNull(), !row.percent.has_value());
        if (!row.percent)
            continue;
        EXPECT_NEAR(ink.center().x(), layout.percent.center().x(), 2.0);
        if (*row.percent == 37)
            widthOf37 = ink.width();
        else
            EXPECT_GT(ink.width(), widthOf37);
    }
}

TEST_F(StripTest, FinderCopyDrawsTheTypeIconSmallAndFaint)
{
    view.setIsFinderCopy(true);
    view.resize(400, 90);
    icons->colour = Qt::black;
    AnimatedIconInstance &instance = placeInstance(120, u"/src/docs/a.txt"_s);
    instance.partialPath = u"://: docs/a.txt"_s;
    const QImage image = renderStrip(view);
    const InstanceLayout layout = layoutAt(120);

    EXPECT_EQ(icons->typesAsked, QStringList{u"txt"_s});
    EXPECT_TRUE(icons->pathsAsked.isEmpty());
    EXPECT_EQ(view.animation().getInstance(0).name, u"a.txt"_s);

    // The 40-unit image fills its place in the 55-unit square at 0.2 opacity.
    EXPECT_NEAR(layout.icon.width(), 40 * 55.0 / 56, 1e-9);
    const QRect iconRows(0, int(std::ceil(layout.icon.top())) + 1, image.width(), int(layout.icon.height()) - 2);
    const QRect drawn = inkBounds(image, iconRows);
    EXPECT_NEAR(drawn.left(), layout.icon.left(), 1.0);
    EXPECT_NEAR(drawn.right() + 1, layout.icon.right(), 1.0);
    const QRect inner = layout.icon.toAlignedRect().adjusted(2, 2, -2, -2);
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x)
            ASSERT_TRUE(near(image.pixel(x, y), QColor(204, 204, 204))) << x << "," << y;
    // The name, black at 0.2 opacity, is no darker than the icon.
    const QRect name = inkBounds(image, QRectF(layout.square.topLeft(), layout.icon.topRight()).toAlignedRect());
    ASSERT_FALSE(name.isNull());
    for (int y = name.top(); y <= name.bottom(); ++y)
        for (int x = name.left(); x <= name.right(); ++x)
            ASSERT_GE(qRed(image.pixel(x, y)), 202);
}

TEST_F(StripTest, LowerNumberedIconsInFrontOfHigherOnes)
{
    view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    view.animation().getInstance(0).offsetX = 100 - animationStepPerRedraw;
    view.animation().getInstance(0).iconPath = u"/src/front.txt"_s;
    view.animation().getInstance(1).offsetX = 140 - animationStepPerRedraw;
    view.animation().getInstance(1).iconPath = u"/src/back.txt"_s;
    // Draw instance 0 red: the overlap then shows mostly red.
    struct TwoColours : SolidIconSource
    {
        QIcon iconForFile(const QString &path) override
        {
            colour = path.contains(u"front"_s) ? Qt::red : Qt::blue;
            return SolidIconSource::iconForFile(path);
        }
    };
    view.setIconSource(std::make_unique<TwoColours>());
    const QImage image = renderStrip(view);
    const QRectF overlap = layoutAt(100).icon.intersected(layoutAt(140).icon);
    ASSERT_FALSE(overlap.isEmpty());
    const QRgb p = image.pixel(overlap.center().toPoint());
    EXPECT_GT(qRed(p), qBlue(p) + 60);
}

TEST_F(StripTest, IconLookedUpOncePerTrip)
{
    int lookups = 0;
    icons->lookups = &lookups;
    view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    view.setFilePath(u"/src/steady.txt"_s);
    int wraps = 0;
    constexpr int redraws = 1500;
    for (int redraw = 0; redraw < redraws; ++redraw) {
        double before[4] = {};
        const auto &list = view.animation().iconInstances();
        for (int i = 0; i < list->size(); ++i)
            before[i] = list->at(i).offsetX;
        renderStrip(view);
        for (int i = 0; i < list->size(); ++i)
            wraps += list->at(i).offsetX < before[i];
    }
    // One lookup for each trip that carried the file: at most one per wrap
    // plus the first trips of the instances that started left of the view.
    EXPECT_GT(wraps, 20);
    EXPECT_GE(lookups, wraps - 4);
    EXPECT_LE(lookups, wraps + 2);
}

TEST_F(StripTest, ClicksToggleTheAnimation)
{
    const auto click = [this] {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &press);
    };
    const auto drawsSomething = [this] {
        placeInstance(100, u"/src/report.txt"_s);
        return !inkBounds(renderStrip(view)).isNull();
    };
    // A new installation: the first click keeps it, the second hides it.
    EXPECT_TRUE(drawsSomething());
    click();
    EXPECT_TRUE(drawsSomething());
    click();
    EXPECT_FALSE(drawsSomething());
    click();
    EXPECT_TRUE(drawsSomething());
}

TEST_F(StripTest, AccessibleNameAndSize)
{
    EXPECT_FALSE(view.accessibleName().isEmpty());
    EXPECT_GE(view.sizeHint().height(), 37 + 85);
    view.setIsFinderCopy(true);
    EXPECT_GE(view.sizeHint().height(), 24 + 55);
    EXPECT_LT(view.sizeHint().height(), 37 + 85);
}

} // namespace
