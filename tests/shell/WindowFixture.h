#pragma once

// The whole application on the offscreen platform for the window tests: the
// real window, view, controller and start-up, with scripted choosers, a
// chosen list of volumes, no privileged commands, no agent and a recorded
// exit instead of leaving the event loop.

#include "CheckAndSetAuthorization.h"
#include "EventLoopWait.h"
#include "FolderChooser.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "MainWindowView.h"
#include "ProgressControls.h"
#include "SchedulingPanel.h"
#include "SharedDefaults.h"
#include "SupportFolder.h"
#include "VellumorApplication.h"
#include "VolumeMenus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

class ScriptedChooser final : public FolderChooser
{
public:
    QStringList folderAnswers;            // taken one per chooser, "" cancels
    QList<QStringList> exclusionAnswers;  // one list per chooser
    QList<FolderChooserRequest> requests; // what each folder chooser was asked

    QString chooseFolder(QWidget *, const FolderChooserRequest &request) override
    {
        requests.append(request);
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    QStringList exclusionStartFolders; // where each exclusion chooser opened
    QStringList chooseItemsToExclude(QWidget *, const QString &startFolder) override
    {
        exclusionStartFolders << startFolder;
        return exclusionAnswers.isEmpty() ? QStringList() : exclusionAnswers.takeFirst();
    }
};

class FixedVolumes final : public VolumeLister
{
public:
    QList<MountedVolume> volumes;
    QList<MountedVolume> mountedVolumes() const override { return volumes; }
};

class NoPrivileges final : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &) override { return 0; }
};

class RecordedAlerts final : public AlertPresenter
{
public:
    QStringList messages;
    void runModalAlert(const QString &message, const QString &, const QString &) override { messages << message; }
};

inline void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // Each test starts from a fresh account: no schedule, no preferences.
        QFile::remove(scheduleFilePath());
        QFile::remove(sharedDefaultsFilePath());
        m_source = m_dir.filePath(QStringLiteral("Documents"));
        m_dest = m_dir.filePath(QStringLiteral("Backup Disk"));
        writeFile(m_source + QStringLiteral("/letter.txt"), "Dear reader\n");
        writeFile(m_source + QStringLiteral("/photos/beach.jpg"), QByteArray(50000, 'p'));
        QDir().mkpath(m_dest);
        m_volumes.volumes = {{QStringLiteral("/"), QStringLiteral("Computer")}};
    }

    void TearDown() override
    {
        if (m_app && m_app->controller().isRunning())
            m_app->controller().startButtonClicked();
        m_app.reset();
    }

    // Builds and starts the application with the given process arguments.
    VellumorApplication &startApp(const QStringList &arguments = {QStringLiteral("vellumor")})
    {
        VellumorApplicationOptions options;
        options.chooser = &m_chooser;
        options.volumes = &m_volumes;
        options.notifier = nullptr;
        options.exit = [this] { ++m_exitRequests; };
        options.showWindow = true;
        options.startup.arguments = arguments;
        options.startup.privilegedRunner = &m_noPrivileges;
        options.startup.launchAgent = false;
        options.startup.watchVolumes = false;
        options.startup.modalAlerts = &m_alerts;
        options.startup.bundlePrefix = m_bundlePrefix;
        options.startup.autostartEntryPath = m_autostartEntryPath.isEmpty()
            ? m_dir.filePath(QStringLiteral("autostart/org.vellumor.Vellumor.Helper.desktop"))
            : m_autostartEntryPath;
        options.startup.systemAutostartFolders = {m_dir.filePath(QStringLiteral("xdg/autostart"))};
        m_app = std::make_unique<VellumorApplication>(options);
        QObject::connect(&m_app->controller(), &MFTaskAppDelegate::runFinished, &m_app->controller(),
                         [this](MFTaskAppDelegate::RunOutcome outcome, const QString &) {
                             ++m_runsFinished;
                             m_lastOutcome = outcome;
                         });
        m_started = m_app->start();
        return *m_app;
    }

    const MainWindowOutlets &outlets() { return m_app->window().outlets(); }

    // Chooses both sides through the big buttons, as a user does.
    void chooseSourceAndDest(const QString &source, const QString &dest)
    {
        m_chooser.folderAnswers = {source, dest};
        outlets().sourceButton->click();
        outlets().destButton->click();
    }

    bool waitForRunsFinished(int count)
    {
        return processEventsUntil([&] { return m_runsFinished >= count; });
    }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_dest;
    QString m_autostartEntryPath;
    QString m_bundlePrefix; // the bundle's own prefix when empty
    ScriptedChooser m_chooser;
    FixedVolumes m_volumes;
    NoPrivileges m_noPrivileges;
    RecordedAlerts m_alerts;
    std::unique_ptr<VellumorApplication> m_app;
    bool m_started = false;
    int m_exitRequests = 0;
    int m_runsFinished = 0;
    MFTaskAppDelegate::RunOutcome m_lastOutcome = MFTaskAppDelegate::RunOutcome::Failed;
};
