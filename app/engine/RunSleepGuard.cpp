#include "RunSleepGuard.h"

#include "DisplayName.h"
#include "MFTaskAppDelegate.h"
#include "SleepInhibitor.h"
#include "SleepWatcher.h"

RunSleepGuard::RunSleepGuard(SleepInhibitor &inhibitor, SleepWatcher *sleep, std::function<void()> stopRun,
                             QObject *parent)
    : QObject(parent)
    , m_inhibitor(inhibitor)
    , m_stopRun(std::move(stopRun))
{
    if (sleep)
        connect(sleep, &SleepWatcher::goingToSleep, this, &RunSleepGuard::goingToSleep);
}

void RunSleepGuard::guardRunsOf(MFTaskAppDelegate &controller, RunSleepGuard &guard)
{
    connect(&controller, &MFTaskAppDelegate::runStarted, &guard, [&controller, &guard] {
        const BackupRun *run = controller.currentRun();
        if (!run)
            return;
        const BackupRunRequest &request = run->request();
        const QString why
            = QStringLiteral("Backing up %1 to %2")
                  .arg(displayNameForPath(request.backupSources.value(0)), displayNameForPath(request.backupDest));
        // A scheduled job's run carries its record's pair.
        guard.runStarted(why, !request.jobSourcePath.isEmpty());
    });
    connect(&controller, &MFTaskAppDelegate::runFinished, &guard, [&guard] { guard.runFinished(); });
}

void RunSleepGuard::runStarted(const QString &why, bool scheduled)
{
    m_inhibitor.release();
    m_running = true;
    m_delaying = scheduled;
    const QString who = QStringLiteral("Vellumor");
    m_inhibitor.hold(SleepInhibitor::Mode::Block, who, why);
    if (scheduled)
        m_inhibitor.hold(SleepInhibitor::Mode::Delay, who, why);
}

void RunSleepGuard::runFinished()
{
    m_running = false;
    m_delaying = false;
    m_inhibitor.release();
}

void RunSleepGuard::goingToSleep()
{
    if (!m_running || !m_delaying)
        return;
    qInfo("The machine is going to sleep: the scheduled backup stops and goes on at the next run");
    // The stop finishes the run, which releases the locks and lets the
    // machine sleep.
    m_stopRun();
    if (m_running)
        runFinished();
}
