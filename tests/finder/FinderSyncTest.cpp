// The file-manager "Copy" and "Paste" logic against a fake file manager: the
// paste target rule, what a paste leaves in the shared suite before the new
// application starts, the menu, and the volume updates.
#include "EventLoopWait.h"
#include "FinderFakes.h"
#include "FinderSync.h"

#include "DistributedNotificationCenter.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class FinderSyncTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath(u"shown/folder"_s));
        ASSERT_TRUE(QDir(tmp.path()).mkpath(u"other"_s));
        ASSERT_TRUE(QFile(tmp.filePath(u"shown/file.txt"_s)).open(QIODevice::WriteOnly));
        controller.targeted = url(u"shown"_s);
        getUserDefaults()->clear();
    }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(tmp.filePath(relative)); }
    QString path(const QString &relative) const { return tmp.filePath(relative); }

    QTemporaryDir tmp;
    FakeFinderController controller;
    RecordingLauncher launcher;
    FinderSync finderSync{controller, launcher, nullptr, [] { return QList<QUrl>(); }};
};

struct TargetCase
{
    const char *name;
    QStringList selected;
    QString expected;
};

TEST_F(FinderSyncTest, PasteTargetIsASelectedFolderElseTheFolderShown)
{
    const TargetCase cases[] = {
        {"nothing selected", {}, u"shown"_s},
        {"a folder selected", {u"shown/folder"_s}, u"shown/folder"_s},
        {"a file selected", {u"shown/file.txt"_s}, u"shown"_s},
        {"a folder, then a file", {u"shown/folder"_s, u"shown/file.txt"_s}, u"shown/folder"_s},
        {"a file, then a folder", {u"shown/file.txt"_s, u"shown/folder"_s}, u"shown"_s},
        {"an item gone since", {u"shown/vanished"_s}, u"shown"_s},
    };
    for (const TargetCase &c : cases) {
        SCOPED_TRACE(c.name);
        controller.selected.clear();
        for (const QString &item : c.selected)
            controller.selected.append(url(item));
        EXPECT_EQ(finderSync.pasteTarget(), url(c.expected));
        finderSync.pasteSelected();
        ASSERT_TRUE(launcher.launches.last().has_value());
        EXPECT_EQ(launcher.launches.last()->destination, path(c.expected));
    }
}

TEST_F(FinderSyncTest, CopyKeepsTheSelectionInOrderAndTheArchiveKeepsIt)
{
    EXPECT_FALSE(finderSync.copiedArray().has_value());
    const QList<QUrl> selection{url(u"shown/file.txt"_s), url(u"other"_s), url(u"shown/folder"_s)};
    controller.selected = selection;
    finderSync.copySelected();
    EXPECT_EQ(finderSync.copiedArray(), selection);

    controller.selected.clear();
    finderSync.pasteSelected();
    ASSERT_EQ(launcher.archives.size(), 1);
    EXPECT_EQ(unarchiveFileURLs(launcher.archives.first()), selection);
    ASSERT_TRUE(launcher.launches.first().has_value());
    EXPECT_EQ(launcher.launches.first()->sources,
              (QStringList{path(u"shown/file.txt"_s), path(u"other"_s), path(u"shown/folder"_s)}));
}

TEST_F(FinderSyncTest, TwoPastesPasteTheSameItemsAndANewCopyReplacesThem)
{
    controller.selected = {url(u"shown/file.txt"_s), url(u"shown/folder"_s)};
    finderSync.copySelected();

    controller.selected = {url(u"other"_s)};
    finderSync.pasteSelected();
    controller.selected.clear();
    finderSync.pasteSelected();

    controller.selected = {url(u"shown/folder"_s)};
    finderSync.copySelected();
    controller.selected = {url(u"other"_s)};
    finderSync.pasteSelected();

    ASSERT_EQ(launcher.launches.size(), 3);
    const QStringList both{path(u"shown/file.txt"_s), path(u"shown/folder"_s)};
    EXPECT_EQ(launcher.launches[0], (FinderCopyRequest{both, path(u"other"_s)}));
    EXPECT_EQ(launcher.launches[1], (FinderCopyRequest{both, path(u"shown"_s)}));
    EXPECT_EQ(launcher.launches[2], (FinderCopyRequest{{path(u"shown/folder"_s)}, path(u"other"_s)}));
}

TEST_F(FinderSyncTest, PasteWithoutCopyHandsOverNoSourceAndStillStartsTheApplication)
{
    controller.selected = {url(u"shown/folder"_s)};
    finderSync.pasteSelected();
    ASSERT_EQ(launcher.launches.size(), 1);
    ASSERT_TRUE(launcher.launches.first().has_value()) << "both keys must be saved, so the launch is a Finder copy";
    EXPECT_EQ(launcher.launches.first()->sources, QStringList());
    EXPECT_EQ(launcher.launches.first()->destination, path(u"shown/folder"_s));
}

TEST_F(FinderSyncTest, EveryMenuKindOffersCopyThenPasteWithTheApplicationIcon)
{
    using Kind = FinderSync::MenuKind;
    for (Kind kind : {Kind::ContextualMenuForItems, Kind::ContextualMenuForContainer, Kind::ContextualMenuForSidebar,
                      Kind::ToolbarItemMenu}) {
        SCOPED_TRACE(int(kind));
        const QList<FinderSync::MenuItem> menu = finderSync.menuForMenuKind(kind);
        ASSERT_EQ(menu.size(), 2);
        EXPECT_EQ(menu[0].title, u"Copy"_s);
        EXPECT_EQ(menu[0].action, FinderSync::MenuAction::CopySelected);
        EXPECT_EQ(menu[1].title, u"Paste"_s);
        EXPECT_EQ(menu[1].action, FinderSync::MenuAction::PasteSelected);
        for (const FinderSync::MenuItem &item : menu) {
            EXPECT_TRUE(item.keyEquivalent.isEmpty());
            EXPECT_EQ(item.iconName, u"org.vellumor.Vellumor"_s);
        }
    }
    EXPECT_EQ(FinderSync::toolbarItemName(), u"Vellumor"_s);
    EXPECT_EQ(FinderSync::toolbarItemToolTip(), u"Vellumor Copy & Paste: Click the toolbar item for a menu."_s);
}

TEST(FinderSyncVolumes, AnnouncedVolumesReachTheControllerAndAnEmptyListKeepsTheLastSet)
{
    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    if (!center.isConnected())
        GTEST_SKIP() << "no D-Bus session bus; run under dbus-run-session";
    FakeFinderController controller;
    RecordingLauncher launcher;
    QList<QUrl> volumes{QUrl::fromLocalFile(u"/"_s)};
    FinderSync finderSync(controller, launcher, &center, [&] { return volumes; });
    ASSERT_EQ(controller.directorySets.size(), 1);
    EXPECT_EQ(controller.directorySets.first(), QSet<QUrl>{QUrl::fromLocalFile(u"/"_s)});

    // Another object is not the agent's announcement; signals arrive in order,
    // so once the second one is handled the first one was ignored.
    volumes.append(QUrl::fromLocalFile(u"/media/disk"_s));
    center.postNotification(u"VolumesChanged"_s, u"someoneelse"_s);
    center.postNotification(u"VolumesChanged"_s, u"beepbeep"_s);
    ASSERT_TRUE(processEventsUntil([&] { return controller.directorySets.size() >= 2; }));
    EXPECT_EQ(controller.directorySets.size(), 2);
    EXPECT_EQ(controller.directorySets.last(), QSet<QUrl>(volumes.cbegin(), volumes.cend()));

    volumes.clear();
    finderSync.volumesChanged();
    EXPECT_EQ(controller.directorySets.size(), 2);
}

TEST(FinderSyncVolumes, TheSystemListHoldsTheRootFileSystem)
{
    EXPECT_TRUE(FinderSync::systemVolumeURLs().contains(QUrl::fromLocalFile(u"/"_s)));
}

} // namespace
