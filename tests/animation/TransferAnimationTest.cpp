// The motion rules of the transfer strip: stepping, wrapping, picking up the
// current item, and which instances are drawn.

#include "TransferAnimation.h"

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Redraws until instance 0 passes the right edge; returns how many it took.
int advanceUntilFirstWrap(TransferAnimation &animation, double width)
{
    for (int redraw = 1; redraw < 10000; ++redraw) {
        const double before = animation.getInstance(0).offsetX;
        animation.advance(width);
        if (animation.getInstance(0).offsetX < before)
            return redraw;
    }
    return -1;
}

bool draws(const TransferAnimation::DrawList &list, int index)
{
    return list.contains(index);
}

TEST(TransferAnimationTest, GetInstanceAppendsOrDetaches)
{
    TransferAnimation animation;
    // No list: a fresh instance, kept nowhere.
    EXPECT_DOUBLE_EQ(animation.getInstance(3).offsetX, -300);
    EXPECT_FALSE(animation.iconInstances().has_value());

    animation.setIconInstances(TransferAnimation::Instances());
    animation.getInstance(0).offsetX = 42;
    EXPECT_DOUBLE_EQ(animation.getInstance(0).offsetX, 42);
    EXPECT_DOUBLE_EQ(animation.getInstance(1).offsetX, -100);
    ASSERT_EQ(animation.iconInstances()->size(), 2);
    // A missing index is appended at the end, placed by the index asked for.
    EXPECT_DOUBLE_EQ(animation.getInstance(5).offsetX, -500);
    EXPECT_EQ(animation.iconInstances()->size(), 3);
}

TEST(TransferAnimationTest, NoListMovesAndDrawsNothing)
{
    TransferAnimation animation;
    animation.setFilePath(u"/src/a.txt"_s);
    for (int redraw = 0; redraw < 500; ++redraw)
        EXPECT_TRUE(animation.advance(400).isEmpty());
    EXPECT_FALSE(animation.iconInstances().has_value());
}

TEST(TransferAnimationTest, StartOfCopy)
{
    TransferAnimation animation;
    animation.setIconInstances(TransferAnimation::Instances());
    animation.setFilePath(u"/src/first.txt"_s);
    EXPECT_TRUE(animation.advance(400).isEmpty());

    ASSERT_EQ(animation.iconInstances()->size(), 4);
    const double expectedOffsets[] = {2.65, -97.35, -197.35, -297.35};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const AnimatedIconInstance &instance = animation.getInstance(i);
        EXPECT_DOUBLE_EQ(instance.offsetX, expectedOffsets[i]);
        // Those beyond the pick-up threshold take the first item at once;
        // instance 0 (and 1) enter empty.
        EXPECT_EQ(instance.iconPath.has_value(), i >= 2);
    }
}

struct WrapRow
{
    const char *name;
    bool isFinderCopy;
    double reentry;
    int redrawsToWrap;
    // First position where the drawing square reaches into the view.
    double firstVisibleAfter;
};

// A view 400 wide: instance 0 goes from 0 to just past 400 empty, re-enters
// left of the view, takes the current file, and shows once its square
// reaches into the view.
TEST(TransferAnimationTest, InstanceZeroWrapsPicksUpAndShows)
{
    const WrapRow rows[] = {
        {"backup", false, -141, 151, -85},
        {"finderCopy", true, -105, 151, -55},
    };
    for (const WrapRow &row : rows) {
        SCOPED_TRACE(row.name);
        TransferAnimation animation;
        animation.setIsFinderCopy(row.isFinderCopy);
        animation.setIconInstances(TransferAnimation::Instances());
        animation.setFilePath(u"/src/a.txt"_s);
        animation.advance(400);
        animation.getInstance(0).iconPath.reset();
        animation.setFilePath(QString());
        // Empty path: the instance keeps what it had (nothing), so it stays
        // undrawn for its whole first trip.
        EXPECT_EQ(advanceUntilFirstWrap(animation, 400), row.redrawsToWrap - 1);
        EXPECT_DOUBLE_EQ(animation.getInstance(0).offsetX, row.reentry);
        EXPECT_FALSE(animation.getInstance(0).iconPath.has_value());

        animation.setFilePath(u"/src/b.txt"_s);
        bool shown = false;
        for (int redraw = 0; redraw < 60 && !shown; ++redraw) {
            const bool drawn = draws(animation.advance(400), 0);
            const AnimatedIconInstance &instance = animation.getInstance(0);
            EXPECT_EQ(instance.iconPath, u"/src/b.txt"_s);
            if (drawn && instance.offsetX + animation.geometry().side > 0) {
                shown = true;
                EXPECT_GT(instance.offsetX, row.firstVisibleAfter);
                EXPECT_LE(instance.offsetX, row.firstVisibleAfter + animationStepPerRedraw);
            }
        }
        EXPECT_TRUE(shown);
    }
}

// After re-entering, an instance stays in pick-up for ten redraws and ends
// up with the item current at the last of them.
TEST(TransferAnimationTest, TenRedrawPickUp)
{
    for (bool finderCopy : {false, true}) {
        SCOPED_TRACE(finderCopy);
        TransferAnimation animation;
        animation.setIsFinderCopy(finderCopy);
        animation.setIconInstances(TransferAnimation::Instances());
        animation.getInstance(0).offsetX = 400 - animationStepPerRedraw + 0.01;
        animation.getInstance(0).iconPath = u"/src/old.txt"_s;
        int pickUps = 0;
        for (int redraw = 0; redraw < 20; ++redraw) {
            const QString current = u"/src/file-%1.txt"_s.arg(redraw);
            animation.setFilePath(current);
            const TransferAnimation::DrawList drawn = animation.advance(400);
            if (animation.getInstance(0).iconPath == current) {
                ++pickUps;
                EXPECT_FALSE(draws(drawn, 0)) << "drawn while still left of the view";
            }
        }
        EXPECT_EQ(pickUps, 10);
        EXPECT_EQ(animation.getInstance(0).iconPath, u"/src/file-9.txt"_s);
    }
}

TEST(TransferAnimationTest, PickUpTakesWhatTheViewHas)
{
    struct Row
    {
        const char *name;
        std::optional<QString> filePath;
        QString partialPath;
        std::optional<int> percent;
        std::optional<QString> expectedIconPath;
        std::optional<QString> expectedPartialPath;
        std::optional<int> expectedPercent;
    };
    const std::optional<QString> oldPath = u"/src/old.txt"_s;
    const std::optional<QString> oldLine = u"://: old.txt"_s;
    const Row rows[] = {
        {"everything", u"/src/new.txt"_s, u"://: new.txt"_s, 37, u"/src/new.txt"_s, u"://: new.txt"_s, 37},
        // A percent of none leaves the percent of the last trip.
        {"noPercent", u"/src/new.txt"_s, u"://: new.txt"_s, std::nullopt, u"/src/new.txt"_s, u"://: new.txt"_s, 80},
        // No item yet: nothing is taken, not even the percent.
        {"noFilePath", std::nullopt, u"://: new.txt"_s, 37, oldPath, oldLine, 80},
        // Silence emptied the path: the same file goes round again.
        {"emptyFilePath", QString(), QString(), 12, oldPath, oldLine, 12},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TransferAnimation animation;
        animation.setIconInstances(TransferAnimation::Instances());
        AnimatedIconInstance &instance = animation.getInstance(0);
        instance.offsetX = -141;
        instance.iconPath = oldPath;
        instance.partialPath = oldLine;
        instance.percentComplete = 80;
        if (row.filePath)
            animation.setFilePath(*row.filePath);
        animation.setPartialPath(row.partialPath);
        animation.setPercent(row.percent);
        animation.advance(400);
        const AnimatedIconInstance &after = animation.getInstance(0);
        EXPECT_EQ(after.iconPath, row.expectedIconPath);
        EXPECT_EQ(after.partialPath, row.expectedPartialPath);
        EXPECT_EQ(after.percentComplete, row.expectedPercent);
    }
}

TEST(TransferAnimationTest, WrappingClearsTheCachedIcon)
{
    TransferAnimation animation;
    animation.setIconInstances(TransferAnimation::Instances());
    AnimatedIconInstance &instance = animation.getInstance(0);
    instance.offsetX = 399;
    instance.iconPath = u"/src/a.txt"_s;
    instance.icon = u"cached icon"_s;
    instance.name = u"a.txt"_s;
    animation.setFilePath(u"/src/a.txt"_s);

    // Still inside: the cache stays and the instance is drawn.
    EXPECT_TRUE(draws(animation.advance(402), 0));
    EXPECT_TRUE(animation.getInstance(0).icon.isValid());
    EXPECT_EQ(animation.getInstance(0).name, u"a.txt"_s);

    EXPECT_FALSE(draws(animation.advance(402), 0));
    EXPECT_DOUBLE_EQ(animation.getInstance(0).offsetX, -141);
    EXPECT_FALSE(animation.getInstance(0).icon.isValid());
    EXPECT_TRUE(animation.getInstance(0).name.isEmpty());
}

TEST(TransferAnimationTest, ChangingModeForgetsCachedIcons)
{
    TransferAnimation animation;
    animation.setIconInstances(TransferAnimation::Instances());
    animation.getInstance(0).icon = u"backup-size icon"_s;
    animation.getInstance(0).name = u"a.txt"_s;
    animation.setIsFinderCopy(false);
    EXPECT_TRUE(animation.getInstance(0).icon.isValid());
    animation.setIsFinderCopy(true);
    EXPECT_FALSE(animation.getInstance(0).icon.isValid());
    EXPECT_TRUE(animation.getInstance(0).name.isEmpty());
}

TEST(TransferAnimationTest, DrawnOnlyWithAFileAndPastThePickUpZone)
{
    struct Row
    {
        const char *name;
        double offsetBefore;
        std::optional<QString> iconPath;
        bool drawn;
    };
    const Row rows[] = {
        {"inside", 100, u"/src/a.txt"_s, true},
        {"justPastThreshold", -116 - animationStepPerRedraw + 0.5, u"/src/a.txt"_s, true},
        {"stillInPickUp", -116 - animationStepPerRedraw - 0.5, u"/src/a.txt"_s, false},
        {"noFile", 100, std::nullopt, false},
        {"emptyFile", 100, QString(), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TransferAnimation animation;
        animation.setIconInstances(TransferAnimation::Instances());
        animation.getInstance(0).offsetX = row.offsetBefore;
        animation.getInstance(0).iconPath = row.iconPath;
        EXPECT_EQ(draws(animation.advance(400), 0), row.drawn);
    }
}

TEST(TransferAnimationTest, PathComponentsAndExtensions)
{
    struct Row
    {
        QString path, lastComponent, extension;
    };
    const Row rows[] = {
        {u"://: docs/a.txt"_s, u"a.txt"_s, u"txt"_s},
        {u"/home/u/Data/archive.tar.gz"_s, u"archive.tar.gz"_s, u"gz"_s},
        {u"docs/"_s, u"docs"_s, QString()},
        {u"/home/u/.profile"_s, u".profile"_s, QString()},
        {u"trailing."_s, u"trailing."_s, QString()},
        {u"plain"_s, u"plain"_s, QString()},
        {u"/"_s, u"/"_s, QString()},
        {QString(), QString(), QString()},
        {u"sending incremental file list"_s, u"sending incremental file list"_s, QString()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        EXPECT_EQ(lastPathComponent(row.path), row.lastComponent);
        EXPECT_EQ(pathExtension(row.path), row.extension);
    }
}

} // namespace
