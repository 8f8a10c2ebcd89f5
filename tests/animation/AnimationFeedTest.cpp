// The strip fed by the real task delegate: items, percent, silence, reset,
// mode, and the pulse that repaints it.

#include "MFTaskDelegate.h"
#include "StripTestSupport.h"

#include "EventLoopWait.h"

#include <QVariantAnimation>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct NoText : TextField
{
    void setText(const QString &) override {}
};

class FeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        storeShowAnimation(std::nullopt);
        view.setIconSource(std::make_unique<SolidIconSource>());
        view.resize(400, 130);
        delegate.setJobState(&jobState);
        delegate.setDisplayText(&displayText);
        delegate.setAnimatingView(&view);
        delegate.setSourcePath(u"/home/u/Data"_s);
        delegate.setTotalFiles(10);
        delegate.setTotalSize(1000);
        view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    }

    NoText jobState, displayText;
    RKAnimatingView view;
    MFTaskDelegate delegate;
};

TEST_F(FeedTest, ItemsPercentSilenceAndReset)
{
    delegate.taskDidRecieveData("\t://: Data/docs/a.txt\n      1,024  37%    1.00MB/s    0:00:01\r"_ba, nullptr);
    EXPECT_EQ(view.animation().filePath(), u"/home/u/Data/docs/a.txt"_s);
    // The reader skips the tab before the marker.
    EXPECT_EQ(view.animation().partialPath(), u"://: Data/docs/a.txt"_s);

    delegate.statusUpdater();
    EXPECT_EQ(view.animation().percent(), 37);

    // The current item reaches the instances waiting left of the view.
    renderStrip(view);
    EXPECT_EQ(view.animation().getInstance(3).iconPath, u"/home/u/Data/docs/a.txt"_s);
    EXPECT_EQ(view.animation().getInstance(3).percentComplete, 37);

    // Silence: no path, a fresh empty list.
    delegate.noOutput();
    EXPECT_EQ(view.animation().filePath(), QString());
    ASSERT_TRUE(view.animation().iconInstances().has_value());
    EXPECT_TRUE(view.animation().iconInstances()->isEmpty());

    // Between copies: no list, nothing drawn.
    delegate.resetForNew();
    EXPECT_FALSE(view.animation().iconInstances().has_value());
    EXPECT_TRUE(inkBounds(renderStrip(view)).isNull());
}

TEST_F(FeedTest, FinderCopyFlagReachesTheView)
{
    delegate.setIsFinderCopy(true);
    EXPECT_TRUE(view.animation().isFinderCopy());
    EXPECT_EQ(view.animation().geometry().instanceCount, 7);
    delegate.setIsFinderCopy(false);
    EXPECT_FALSE(view.animation().isFinderCopy());
}

TEST_F(FeedTest, PulseFramesRepaintAndThenNothing)
{
    view.show();
    ASSERT_TRUE(processEventsUntil([this] { return view.repaintCount() > 0; }));
    delegate.animate();
    auto *pulse = const_cast<QVariantAnimation *>(delegate.pulseAnimation());
    ASSERT_EQ(pulse->state(), QAbstractAnimation::Running);

    // Frames are driven by hand here, so nothing depends on the clock: the
    // pulse runs linearly from 0 to the view's width over 1.1 s.
    const quint64 before = view.repaintCount();
    pulse->setCurrentTime(550);
    EXPECT_DOUBLE_EQ(view.pulseX(), 200);
    ASSERT_TRUE(processEventsUntil([&] { return view.repaintCount() > before; }));

    // Several changes before the next paint make one repaint.
    const quint64 afterOne = view.repaintCount();
    pulse->setCurrentTime(600);
    pulse->setCurrentTime(650);
    ASSERT_TRUE(processEventsUntil([&] { return view.repaintCount() > afterOne; }));
    EXPECT_EQ(view.repaintCount(), afterOne + 1);

    pulse->setCurrentTime(MFTaskDelegate::pulseDurationMs);
    EXPECT_DOUBLE_EQ(view.pulseX(), 400);
    EXPECT_EQ(pulse->state(), QAbstractAnimation::Stopped);
    ASSERT_TRUE(processEventsUntil([&] { return view.repaintCount() > afterOne + 1; }));

    // With the pulse over, nothing repaints the strip.
    const quint64 settled = view.repaintCount();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(view.repaintCount(), settled);
}

} // namespace
