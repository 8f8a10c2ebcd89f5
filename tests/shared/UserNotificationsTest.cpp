// Desktop notifications over a real session bus (run under dbus-run-session)
// against a stand-in notification server and file manager: what is sent,
// what a click reveals, and that a desktop without them costs nothing.
#include "EventLoopWait.h"
#include "DisplayName.h"
#include "NoticeBoard.h"
#include "UserNotifications.h"
#include "shared/FakeDesktopServices.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString desktopConnection = u"fake-desktop"_s;

class UserNotificationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no D-Bus session bus; run under dbus-run-session";
        desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, desktopConnection);
        ASSERT_TRUE(desktop.isConnected());
    }
    void TearDown() override
    {
        desktop.unregisterService(u"org.freedesktop.Notifications"_s);
        desktop.unregisterService(u"org.freedesktop.FileManager1"_s);
        desktop.unregisterObject(u"/org/freedesktop/Notifications"_s);
        desktop.unregisterObject(u"/org/freedesktop/FileManager1"_s);
        QDBusConnection::disconnectFromBus(desktopConnection);
    }

    void startNotificationServer()
    {
        ASSERT_TRUE(desktop.registerObject(u"/org/freedesktop/Notifications"_s, &server,
                                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(desktop.registerService(u"org.freedesktop.Notifications"_s));
    }
    void startFileManager()
    {
        ASSERT_TRUE(
            desktop.registerObject(u"/org/freedesktop/FileManager1"_s, &fileManager, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(desktop.registerService(u"org.freedesktop.FileManager1"_s));
    }

    QDBusConnection desktop{QString()};
    FakeNotificationServer server;
    FakeFileManager fileManager;
};

TEST_F(UserNotificationsTest, ACompletionBannerCarriesItsTextSoundAndAClickAction)
{
    startNotificationServer();
    FreedesktopNotifier notifier;
    QList<uint> shown;
    QObject::connect(&notifier, &FreedesktopNotifier::notificationShown, [&](uint id) { shown.append(id); });
    notifier.deliverNotification({u"Operation Complete"_s,
                                  u"Finished transfer to /media/disk/\nClick this notification to view it."_s,
                                  u"/media/disk/"_s, true});
    notifier.deliverNotification({u"Backup Starting"_s, u"Backup starting to disk"_s, QString(), false});
    ASSERT_TRUE(processEventsUntil([&] { return shown.size() == 2; }));

    ASSERT_EQ(server.calls.size(), 2);
    const FakeNotificationServer::Call &complete = server.calls.at(0);
    EXPECT_EQ(complete.appName, u"Vellumor"_s);
    EXPECT_EQ(complete.summary, u"Operation Complete"_s);
    EXPECT_EQ(complete.body, u"Finished transfer to /media/disk/\nClick this notification to view it."_s);
    ASSERT_GE(complete.actions.size(), 2);
    EXPECT_EQ(complete.actions.at(0), u"default"_s);
    EXPECT_EQ(complete.hints.value(u"sound-name"_s).toString(), u"complete"_s);
    const FakeNotificationServer::Call &starting = server.calls.at(1);
    EXPECT_TRUE(starting.actions.isEmpty());
    EXPECT_FALSE(starting.hints.contains(u"sound-name"_s));
    // Only the banner with something to show waits for a click.
    EXPECT_EQ(notifier.pendingClickCount(), 1);
}

TEST_F(UserNotificationsTest, AClickRevealsThatBannersDestinationInTheFileManager)
{
    startNotificationServer();
    startFileManager();
    FreedesktopNotifier notifier;
    QList<uint> shown;
    QObject::connect(&notifier, &FreedesktopNotifier::notificationShown, [&](uint id) { shown.append(id); });
    notifier.deliverNotification({u"Operation Complete"_s, u"first"_s, u"/media/first/"_s, true});
    notifier.deliverNotification({u"Operation Complete"_s, u"second"_s, u"/media/second run/"_s, true});
    ASSERT_TRUE(processEventsUntil([&] { return shown.size() == 2; }));

    // The older banner is clicked after the newer one was shown.
    server.click(shown.at(0));
    ASSERT_TRUE(processEventsUntil([&] { return !fileManager.shown.isEmpty(); }));
    EXPECT_EQ(fileManager.shown, QList<QStringList>{{u"file:///media/first/"_s}});

    // A closed banner can no longer be clicked.
    const uint second = shown.at(1);
    server.close(second);
    ASSERT_TRUE(processEventsUntil([&] { return notifier.pendingClickCount() == 0; }));
    QStringList revealed;
    QObject::connect(&notifier, &FreedesktopNotifier::revealRequested,
                     [&](const QString &path) { revealed.append(path); });
    server.click(second);
    notifier.deliverNotification({u"Backup Starting"_s, u"x"_s, QString(), false}); // a round trip after the click
    ASSERT_TRUE(processEventsUntil([&] { return shown.size() == 3; }));
    EXPECT_TRUE(revealed.isEmpty());
}

TEST_F(UserNotificationsTest, WithoutANotificationServiceTheBannerIsSkippedQuietly)
{
    FreedesktopNotifier notifier;
    QStringList skipped;
    QObject::connect(&notifier, &FreedesktopNotifier::notificationSkipped,
                     [&](const QString &reason) { skipped.append(reason); });
    notifier.deliverNotification({u"Operation Complete"_s, u"text"_s, u"/media/disk/"_s, true});
    ASSERT_TRUE(processEventsUntil([&] { return !skipped.isEmpty(); }));
    EXPECT_EQ(notifier.pendingClickCount(), 0);
}

TEST_F(UserNotificationsTest, WithoutAFileManagerTheFallbackIsAskedToReveal)
{
    QStringList fallback;
    FreedesktopNotifier notifier;
    notifier.setRevealFallback([&](const QString &path) { fallback.append(path); });
    notifier.revealInFileManager(u"/media/disk/"_s);
    ASSERT_TRUE(processEventsUntil([&] { return !fallback.isEmpty(); }));
    EXPECT_EQ(fallback, QStringList{u"/media/disk/"_s});
}

// A notice kept by name: shown again in place, withdrawn, and its click
// reported by name.
TEST_F(UserNotificationsTest, ANoticeIsReplacedInPlaceWithdrawnAndClickedByItsName)
{
    startNotificationServer();
    FreedesktopNoticeBoard board;
    QStringList activated;
    QObject::connect(&board, &NoticeBoard::activated, [&](const QString &key) { activated << key; });
    board.show(u"postponed"_s, u"Scheduled backup postponed: Backup Disk is not connected"_s, u"later"_s);
    ASSERT_TRUE(processEventsUntil([&] { return server.calls.size() == 1; }));
    board.show(u"overdue"_s, u"No backup of Pictures for 9 days"_s, u"Connect it"_s, u"Open Vellumor"_s);
    board.show(u"overdue"_s, u"No backup of Pictures for 10 days"_s, u"Connect it"_s, u"Open Vellumor"_s);
    ASSERT_TRUE(processEventsUntil([&] { return server.calls.size() == 3; }));
    EXPECT_TRUE(server.calls[0].actions.isEmpty());
    EXPECT_EQ(server.calls[1].actions, (QStringList{u"default"_s, u"Open Vellumor"_s}));
    const uint overdueId = 42;
    EXPECT_EQ(server.calls[2].replacesId, overdueId) << "the second reminder replaces the first";

    board.withdraw(u"postponed"_s);
    ASSERT_TRUE(processEventsUntil([&] { return !server.closed.isEmpty(); }));
    EXPECT_EQ(server.closed, QList<uint>{41});
    server.click(overdueId);
    ASSERT_TRUE(processEventsUntil([&] { return !activated.isEmpty(); }));
    EXPECT_EQ(activated, QStringList{u"overdue"_s});
}

TEST(DisplayNameTest, LastComponentOrTheWholePath)
{
    const struct
    {
        QString path;
        QString name;
    } cases[] = {
        {u"/home/ada/Documents"_s, u"Documents"_s},
        {u"/media/ada/Backup Disk/"_s, u"Backup Disk"_s},
        {u"/"_s, rootVolumeName()},
        {u""_s, u""_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(displayNameForPath(c.path), c.name);
    }
}

} // namespace
