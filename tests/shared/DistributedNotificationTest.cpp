// Distributed notifications over a real session bus (run the tests under
// dbus-run-session): another process posts, this one observes, filtered by
// name and object.
#include "EventLoopWait.h"
#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "SharedSchedule.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct Received
{
    QString name;
    QString object;
    friend bool operator==(const Received &, const Received &) = default;
};

class DistributedNotificationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!center().isConnected())
            GTEST_SKIP() << "no D-Bus session bus; run under dbus-run-session";
    }
    static DistributedNotificationCenter &center() { return DistributedNotificationCenter::defaultCenter(); }

    QObject context;
};

TEST_F(DistributedNotificationTest, AnotherProcessPostsAndOnlyTheMatchingObjectIsDelivered)
{
    QList<Received> filtered;
    QList<Received> everything;
    center().addObserver(u"SCHEDULECHANGED"_s, u"beepbeep"_s, &context,
                         [&](const QString &name, const QString &object) {
                             filtered.append({name, object});
                         });
    center().addObserver(u"SCHEDULECHANGED"_s, QString(), &context, [&](const QString &name, const QString &object) {
        everything.append({name, object});
    });
    QList<Received> jobs;
    center().addObserver(u"JOBTODO"_s, u"beepbeep"_s, &context, [&](const QString &name, const QString &object) {
        jobs.append({name, object});
    });

    QProcess poster;
    poster.start(
        QStringLiteral(NOTIFICATION_POSTER),
        {u"SCHEDULECHANGED"_s, u"somethingelse"_s, u"SCHEDULECHANGED"_s, u"beepbeep"_s, u"JOBTODO"_s, u"beepbeep"_s});
    ASSERT_TRUE(poster.waitForFinished(30000));
    ASSERT_EQ(poster.exitCode(), 0) << poster.readAllStandardError().toStdString();

    // Signals from one sender arrive in order, so once JOBTODO is here the two
    // SCHEDULECHANGED signals have been handled.
    ASSERT_TRUE(processEventsUntil([&] { return !jobs.isEmpty(); }));
    EXPECT_EQ(filtered, (QList<Received>{{u"SCHEDULECHANGED"_s, u"beepbeep"_s}}));
    EXPECT_EQ(everything,
              (QList<Received>{{u"SCHEDULECHANGED"_s, u"somethingelse"_s}, {u"SCHEDULECHANGED"_s, u"beepbeep"_s}}));
    EXPECT_EQ(jobs, (QList<Received>{{u"JOBTODO"_s, u"beepbeep"_s}}));
}

TEST_F(DistributedNotificationTest, ASaveIsHeardByAnObserverOnTheBus)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    int heard = 0;
    center().addObserver(u"SCHEDULECHANGED"_s, u"beepbeep"_s, &context,
                         [&](const QString &, const QString &) { ++heard; });
    SharedSchedule schedule(ScheduleFile(tmp.filePath(u"Scheduled Backups.xml"_s), Clock::system()), center());
    BackupParameters job;
    job.sourcePath = u"/src"_s;
    job.destPath = u"/dst"_s;
    job.snapshotsToKeep = qlonglong(3);
    ASSERT_TRUE(schedule.updateSharedArrayAndWriteToFile(&job));
    EXPECT_TRUE(processEventsUntil([&] { return heard == 1; }));
}

TEST_F(DistributedNotificationTest, PostsReachObserversInThisProcessAndStrangeNamesAreDropped)
{
    int heard = 0;
    center().addObserver(u"VolumesChanged"_s, QString(), &context, [&](const QString &, const QString &) { ++heard; });
    center().postNotification(u"NotOurs"_s, u"beepbeep"_s);
    center().postNotification(u"VolumesChanged"_s, u"beepbeep"_s);
    EXPECT_TRUE(processEventsUntil([&] { return heard > 0; }));
    EXPECT_EQ(heard, 1);
}

} // namespace
