#pragma once

// The controller's private collaborators, each one side of it as another
// part of the engine sees it: the copy task's delegate, scheduling's
// controller and job holder, and the host of a backup run. Included only by
// the controller's own sources.

#include "MFTaskAppDelegate.h"
#include "JobLoader.h"
#include "ScheduledJobDispatcher.h"

// Stands between the task and the output reader: forwards every message. The
// reader decides the run's outcome when the copy program has ended and posts
// "BackupComplete", whether or not rsync reached its summary.
class MFTaskAppDelegate::RunObserver : public MFTaskDelegateProtocol
{
public:
    explicit RunObserver(MFTaskAppDelegate *controller) : m_controller(controller) {}
    void taskDidRecieveData(const QByteArray &data, MFTask *task) override;
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *task) override;
    void taskDidTerminate(MFTask *task) override;
    void taskDidRecieveInvalidate(MFTask *task) override;
    void taskDidLaunch(MFTask *task) override;

private:
    MFTaskAppDelegate *m_controller;
};

// The controller as scheduling sees it: dispatch starts jobs through it, and
// loading a job hands the job's settings to it.
class MFTaskAppDelegate::ScheduleLink final : public DispatchController, public ScheduledJobHolder
{
public:
    explicit ScheduleLink(MFTaskAppDelegate *controller) : m_controller(controller) {}

    bool isIdle() const override;
    void loadUIFromDictionary(const JobRecord &record) override { m_controller->loadUIFromDictionary(record); }
    // The run sets the record's "linkDest" (it finds the record again by its
    // pair); it is saved again at completion, from the window's state.
    void startBackup(JobRecord &record) override { m_controller->startBackup(&record); }
    void terminateApplication() override { m_controller->m_view->terminateApplication(); }
    void adoptScheduledJob(const LoadedJob &job) override;
    void handleLinkDest() override { m_controller->handleLinkDest(); }

private:
    MFTaskAppDelegate *m_controller;
};

// The controller as a backup run sees it: what the run shows comes back to
// the main thread here, and is dropped once the run is no longer current.
class MFTaskAppDelegate::RunLink final : public BackupRunHost
{
public:
    explicit RunLink(MFTaskAppDelegate *controller) : m_controller(controller) {}

    bool volumeAvailable(const QString &path) override;
    void post(quint64 runId, std::function<void()> step) override;
    void showPreparation(std::optional<QString> status, std::optional<bool> indeterminate) override;
    void clearArguments() override;
    void runPrepared(const BackupArgumentInput &input, const QStringList &arguments,
                     const QStringList &chosenSources) override;
    void phaseEntered(BackupPhase phase) override;
    void dryRunMeasured(qint64 totalFiles, qint64 totalSize) override;
    void dryRunStopped() override;
    void runEndedEarly(EarlyEnd end, const QString &detail) override;

private:
    MFTaskAppDelegate *m_controller;
};
