// The Linux event sources of the agent: the wall-clock timer, the mount
// table watcher, and UPower and logind (stand-ins on a private system bus).
#include "EventLoopWait.h"
#include "MountWatcher.h"
#include "PowerSource.h"
#include "PrivateSystemBus.h"
#include "RunSleepGuard.h"
#include "SleepInhibitor.h"
#include "SleepWatcher.h"
#include "WallClockTimer.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Makes sure the bus has every match rule this connection sent before.
void roundTrip(const QDBusConnection &connection)
{
    connection.interface()->isServiceRegistered(u"org.freedesktop.DBus"_s);
}

TEST(WallClockTimer, APastMomentFiresOnceAndRearmingOrCancellingReplacesIt)
{
    const QDateTime past = QDateTime::fromSecsSinceEpoch(1000000000);
    const struct
    {
        const char *name;
        std::function<void(WallClockTimer &)> steps;
    } table[] = {
        {"armed once", [&](WallClockTimer &timer) { timer.armAt(past); }},
        {"armed twice",
         [&](WallClockTimer &timer) {
             timer.armAt(past);
             timer.armAt(past.addSecs(60));
         }},
        {"cancelled, then armed",
         [&](WallClockTimer &timer) {
             timer.armAt(past);
             timer.cancel();
             timer.armAt(past.addSecs(60));
         }},
        {"the epoch itself", [&](WallClockTimer &timer) { timer.armAt(QDateTime::fromSecsSinceEpoch(0)); }},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        WallClockTimer timer;
        int fired = 0;
        QObject::connect(&timer, &WakeTimer::fired, [&] { ++fired; });
        row.steps(timer);
        ASSERT_TRUE(processEventsUntil([&] { return fired > 0; }));
        // A second firing would be queued by now: flush once more.
        QCoreApplication::processEvents();
        EXPECT_EQ(fired, 1);
        EXPECT_FALSE(timer.isArmed());
    }
}

TEST(WallClockTimer, AMomentBeyondTheLongestSpanIsReachedInStepsAndNeverEarly)
{
    WallClockTimer timer(nullptr, 2ms);
    const QDateTime target = QDateTime::currentDateTimeUtc().addMSecs(40);
    bool fired = false;
    QDateTime firedAt;
    QObject::connect(&timer, &WakeTimer::fired, [&] {
        fired = true;
        firedAt = QDateTime::currentDateTimeUtc();
    });
    timer.armAt(target);
    EXPECT_EQ(timer.armedFor(), target);
    ASSERT_TRUE(processEventsUntil([&] { return fired; }));
    EXPECT_GT(firedAt, target);
    EXPECT_GT(timer.armings(), 1);
}

TEST(MountInfo, ParsesMountPointsWithTheKernelsEscapes)
{
    const QByteArray table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "41 22 8:17 / /media/My\\040Disk rw - vfat /dev/sdb1 rw\n"
                             "42 22 0:50 / /mnt/tab\\011back\\134slash rw - tmpfs none rw\n"
                             "not a mount line\n"
                             "x 22 0:51 / /mnt/bad-id rw - tmpfs none rw\n"
                             "\n";
    const QList<MountEntry> expected{{22, u"/"_s}, {41, u"/media/My Disk"_s}, {42, u"/mnt/tab\tback\\slash"_s}};
    EXPECT_EQ(parseMountInfo(table), expected);
}

TEST(MountInfo, NewMountsAreToldByTheirMountId)
{
    const QList<MountEntry> before{{22, u"/"_s}, {41, u"/media/Disk"_s}};
    const struct
    {
        const char *name;
        QList<MountEntry> after;
        QStringList added;
    } table[] = {
        {"nothing changed", before, {}},
        {"a disk attached", {{22, u"/"_s}, {41, u"/media/Disk"_s}, {43, u"/media/New"_s}}, {u"/media/New"_s}},
        {"a disk detached", {{22, u"/"_s}}, {}},
        {"another disk on the same folder", {{22, u"/"_s}, {44, u"/media/Disk"_s}}, {u"/media/Disk"_s}},
        {"stacked on a mounted folder",
         {{22, u"/"_s}, {41, u"/media/Disk"_s}, {45, u"/media/Disk"_s}},
         {u"/media/Disk"_s}},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(addedMountPoints(before, row.after), row.added);
    }
}

TEST(MountWatcher, TellsOfATmpfsMountedWhileItWatches)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString point = tmp.filePath(u"Backup Disk"_s);
    ASSERT_TRUE(QDir().mkpath(point));
    MountWatcher watcher;
    ASSERT_TRUE(watcher.isWatching());
    QList<QStringList> mounted;
    QObject::connect(&watcher, &MountWatcher::volumesMounted,
                     [&](const QStringList &points) { mounted.append(points); });
    if (::mount("vellumor-test", point.toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    const bool heard = processEventsUntil([&] { return !mounted.isEmpty(); });
    ::umount2(point.toLocal8Bit().constData(), MNT_DETACH);
    ASSERT_TRUE(heard);
    EXPECT_EQ(mounted, (QList<QStringList>{{point}}));
}

class SystemServicesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(bus.isValid()) << "dbus-daemon could not be started"; }
    PrivateSystemBus bus;
};

TEST_F(SystemServicesTest, UPowerTellsOfPluggingInAndOutAndOfItsDisplayDeviceOnly)
{
    FakeSystemServices services(bus, {u"upower"_s});
    ASSERT_TRUE(services.isReady());
    const QDBusConnection connection = bus.connect(u"upower-client"_s);
    UPowerPowerSource power(connection);
    int changes = 0;
    QObject::connect(&power, &PowerSource::powerSourceChanged, [&] { ++changes; });
    roundTrip(connection);
    EXPECT_FALSE(power.isOnBattery());

    ASSERT_TRUE(services.command("battery on"));
    ASSERT_TRUE(processEventsUntil([&] { return changes == 1; }));
    EXPECT_TRUE(power.isOnBattery());

    ASSERT_TRUE(services.command("lid"));
    ASSERT_TRUE(services.command("battery off"));
    ASSERT_TRUE(processEventsUntil([&] { return changes >= 2; }));
    EXPECT_EQ(changes, 2) << "a change of another property is no change of power source";
    EXPECT_FALSE(power.isOnBattery());

    // The charge of the machine's power sources is power-source information.
    ASSERT_TRUE(services.command("charge"));
    ASSERT_TRUE(processEventsUntil([&] { return changes >= 3; }));
    EXPECT_EQ(changes, 3);
}

TEST_F(SystemServicesTest, WithoutUPowerTheMachineCountsAsPluggedIn)
{
    UPowerPowerSource power(bus.connect(u"no-upower"_s));
    EXPECT_FALSE(power.isOnBattery());
    UPowerPowerSource disconnected(QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"nobus"_s));
    EXPECT_FALSE(disconnected.isOnBattery());
    QDBusConnection::disconnectFromBus(u"nobus"_s);
}

TEST_F(SystemServicesTest, LogindWakeIsToldButNotTheGoingToSleep)
{
    FakeSystemServices services(bus, {u"logind"_s});
    ASSERT_TRUE(services.isReady());
    const QDBusConnection connection = bus.connect(u"logind-client"_s);
    SleepWatcher sleep(connection);
    int woke = 0;
    QObject::connect(&sleep, &SleepWatcher::woke, [&] { ++woke; });
    roundTrip(connection);

    ASSERT_TRUE(services.command("sleep"));
    ASSERT_TRUE(services.command("wake"));
    ASSERT_TRUE(processEventsUntil([&] { return woke >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(woke, 1);
}

TEST_F(SystemServicesTest, ARunHoldsItsInhibitorLocksAndAScheduledOneStopsCleanlyBeforeSleep)
{
    FakeSystemServices services(bus, {u"logind"_s});
    ASSERT_TRUE(services.isReady());
    const QDBusConnection connection = bus.connect(u"inhibitor-client"_s);
    SleepInhibitor inhibitor(connection);
    SleepWatcher sleep(connection);
    int stops = 0;
    RunSleepGuard guard(inhibitor, &sleep, [&] {
        ++stops;
        // The stop ends the run, as the controller's does.
        guard.runFinished();
    });
    int answers = 0;
    QObject::connect(&inhibitor, &SleepInhibitor::answered, [&](bool granted) {
        EXPECT_TRUE(granted);
        ++answers;
    });
    roundTrip(connection);
    const QString block = u"sleep:idle|block|Vellumor|Backing up Pictures to Backup Disk"_s;
    const QString delay = u"sleep|delay|Vellumor|Backing up Pictures to Backup Disk"_s;

    // A run by hand: the block lock only, released at its end; a sleep stops nothing.
    guard.runStarted(u"Backing up Pictures to Backup Disk"_s, false);
    ASSERT_TRUE(processEventsUntil([&] { return answers == 1; }));
    EXPECT_EQ(services.query("inhibitors"), u"inhibitors "_s + block);
    ASSERT_TRUE(services.command("sleep"));
    roundTrip(connection);
    QCoreApplication::processEvents();
    EXPECT_EQ(stops, 0);
    guard.runFinished();
    EXPECT_EQ(services.query("inhibitors"), u"inhibitors"_s);

    // A scheduled run: both locks; the sleep stops it, then both go.
    guard.runStarted(u"Backing up Pictures to Backup Disk"_s, true);
    ASSERT_TRUE(processEventsUntil([&] { return answers == 3; }));
    EXPECT_EQ(services.query("inhibitors"), u"inhibitors "_s + block + u';' + delay);
    ASSERT_TRUE(services.command("sleep"));
    ASSERT_TRUE(processEventsUntil([&] { return stops == 1; }));
    EXPECT_EQ(inhibitor.heldCount(), 0);
    EXPECT_EQ(services.query("inhibitors"), u"inhibitors"_s);
}

TEST_F(SystemServicesTest, WithoutLogindARunGoesOnUnguarded)
{
    SleepInhibitor inhibitor(bus.connect(u"no-logind"_s));
    bool denied = false;
    QObject::connect(&inhibitor, &SleepInhibitor::answered, [&](bool granted) { denied = !granted; });
    inhibitor.hold(SleepInhibitor::Mode::Block, u"Vellumor"_s, u"Backing up"_s);
    ASSERT_TRUE(processEventsUntil([&] { return denied; }));
    EXPECT_EQ(inhibitor.heldCount(), 0);
}

} // namespace
