// How long one check of the schedule takes with 1,000 jobs (goal: under
// 50 ms), against reading and parsing the same file alone, in the same run.
// Each job has two run dates: one in the future, and for one job in a
// hundred one in the past whose volumes are present (reported to an
// application that runs, so nothing is started).
//
// Usage: dbus-run-session -- bench_agent_check [jobs] [rounds]
#include "AppDelegate.h"
#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "MainAppLauncher.h"
#include "PowerSource.h"
#include "RunDates.h"
#include "ScheduleFile.h"
#include "VolumePresence.h"
#include "WakeTimer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

class IdleTimer final : public WakeTimer
{
public:
    void armAt(const QDateTime &moment) override { m_moment = moment; }
    void cancel() override { m_moment = QDateTime(); }
    bool isArmed() const override { return m_moment.isValid(); }
    QDateTime armedFor() const override { return m_moment; }

private:
    QDateTime m_moment;
};

class PluggedIn final : public PowerSource
{
public:
    bool isOnBattery() override { return false; }
};

class RunningApplication final : public MainAppLauncher
{
public:
    bool isMainAppRunning() override { return true; }
    bool launch() override { return true; }
};

QList<JobRecord> makeSchedule(int jobs, const QString &folder, const QDateTime &now)
{
    QList<JobRecord> records;
    for (int i = 0; i < jobs; ++i) {
        QStringList dates{runDateText({now.date().addDays(1 + i % 6), QTime(i % 24, i % 60)})};
        if (i % 100 == 0)
            dates.append(runDateText({now.date().addDays(-1), QTime(9, 0)}));
        records.append(
            JobRecord{{QStringLiteral("sourcePath"), folder},
                      {QStringLiteral("destPath"), QString(folder + QStringLiteral("/dest%1").arg(i))},
                      {QStringLiteral("hardlinks"), true},
                      {QStringLiteral("snapshotsToKeep"), qlonglong(10)},
                      {QStringLiteral("excludedFiles"), QStringList{QString(folder + QStringLiteral("/cache"))}},
                      {QStringLiteral("scheduledDates"), dates}});
    }
    return records;
}

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double elapsedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int jobs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 21;
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Scheduled Backups.xml"));
    for (int i = 0; i < jobs; i += 100)
        QDir().mkpath(tmp.filePath(QStringLiteral("dest%1").arg(i)));
    const ScheduleFile file(path, Clock::system());
    if (!file.write(makeSchedule(jobs, tmp.path(), Clock::system().now())))
        return 1;

    IdleTimer timer;
    PluggedIn power;
    RunningApplication launcher;
    const VolumePresence volumes;
    AppDelegate agent(
        {Clock::system(), timer, power, launcher, DistributedNotificationCenter::defaultCenter(), volumes, path});
    const QList<JobRecord> records = file.read().records;
    qsizetype reported = 0;
    qsizetype read = 0;
    // Rounds alternate between the three, so that a busy moment of the
    // machine weighs on all alike.
    QList<double> checks, reads, scans;
    for (int round = 0; round < rounds; ++round) {
        checks.append(
            elapsedMs([&] { reported = agent.checkForScheduledJobs(QStringLiteral("bench")).reportedCount(); }));
        reads.append(elapsedMs([&] { read = file.read().records.size(); }));
        scans.append(elapsedMs([&] { scanSchedule(records, Clock::system().now()); }));
    }
    const double checkMs = median(checks);
    const double readMs = median(reads);
    const double scanMs = median(scans);
    std::printf("jobs %d (%lld read back), %lld reported per check, file %lld bytes\n", jobs, qlonglong(read),
                qlonglong(reported), qlonglong(QFileInfo(path).size()));
    std::printf("check: %.2f ms (median of %d; goal under 50 ms)\n", checkMs, rounds);
    std::printf("read and parse the file alone: %.2f ms\n", readMs);
    std::printf("run dates alone (parse and compare): %.2f ms\n", scanMs);
    std::printf("ratio check / read alone: %.2f\n", checkMs / readMs);
    return checkMs < 50 ? 0 : 1;
}
