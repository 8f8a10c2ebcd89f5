// Start-up, preferences, the disclosure triangle and accessible names.
#include "WindowFixture.h"

#include "ApplicationStartup.h"
#include "Clock.h"
#include "DistributedNotificationCenter.h"
#include "LocalNotificationCenter.h"
#include "RunDates.h"
#include "DisclosureLayouts.h"
#include "HelpLinks.h"
#include "LoginItem.h"
#include "OptionsSheet.h"
#include "PreferencesSheet.h"
#include "ScheduleFile.h"
#include "WidgetControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextBrowser>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTimeEdit>

namespace {

// A run date in the coming week: not due, and one the application itself
// could have saved.
QString nextMondayAt(int hour, int minute)
{
    return runDateText(nextRunDate(QDateTime::currentDateTime(), 2, hour, minute));
}

using StartupTest = WindowTest;

JobRecord dueJob(const QString &source, const QString &dest)
{
    BackupParameters job;
    job.sourcePath = source;
    job.destPath = dest;
    job.snapshotsToKeep = qlonglong(3);
    // 1 January 2024 was a Monday; any run of these tests is after it.
    job.scheduledDates = {QStringLiteral("Mon-01-01-2024 09:00")};
    return job.getParametersDictionary();
}

TEST_F(StartupTest, AStartByTheAgentWithADueJobRunsItAndQuits)
{
    ScheduleFile(scheduleFilePath(), Clock::system()).write({dueJob(m_source, m_dest)});
    startApp({QStringLiteral("vellumor"), QStringLiteral("daemonLaunched")});
    ASSERT_TRUE(m_started);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
    EXPECT_EQ(outlets().sourceName->text(), QStringLiteral("Documents"));
    ASSERT_TRUE(processEventsUntil([&] { return m_exitRequests > 0; }));
    EXPECT_EQ(m_runsFinished, 1);
    EXPECT_TRUE(QFileInfo::exists(m_dest + QStringLiteral("/Documents/letter.txt")));
    // The job's date moved on, so the agent does not find it due again.
    const QList<JobRecord> saved = ScheduleFile(scheduleFilePath(), Clock::system()).arrayWithContentsOfFile();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_NE(JobRecords::scheduledDates(saved.first()), QStringList{QStringLiteral("Mon-01-01-2024 09:00")});
}

TEST_F(StartupTest, AStartByTheAgentWithoutADueJobStaysOpen)
{
    BackupParameters later;
    later.sourcePath = m_source;
    later.destPath = m_dest;
    later.snapshotsToKeep = qlonglong(3);
    later.scheduledDates = {nextMondayAt(9, 0)};
    ScheduleFile(scheduleFilePath(), Clock::system()).write({later.getParametersDictionary()});
    startApp({QStringLiteral("vellumor"), QStringLiteral("daemonLaunched")});
    ASSERT_TRUE(m_started);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
    EXPECT_EQ(m_exitRequests, 0);
    EXPECT_TRUE(m_app->window().isVisible());
    EXPECT_EQ(outlets().schedulingView->backupsSchedulerTableView()->model()->rowCount(), 1);
}

TEST_F(StartupTest, ADueJobAtAStartByHandRunsAndTheWindowStaysOpen)
{
    ScheduleFile(scheduleFilePath(), Clock::system()).write({dueJob(m_source, m_dest)});
    startApp();
    ASSERT_TRUE(waitForRunsFinished(1));
    EXPECT_EQ(m_exitRequests, 0);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
}

TEST_F(StartupTest, OnePostOfScheduledBackupsDidChangeSavesTheScheduleOnce)
{
    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    if (!center.isConnected())
        GTEST_SKIP() << "no D-Bus session bus";
    startApp();
    int scheduleChanged = 0;
    bool markerSeen = false;
    QObject context;
    center.addObserver(QStringLiteral("SCHEDULECHANGED"), QStringLiteral("beepbeep"), &context,
                       [&](const QString &, const QString &) { ++scheduleChanged; });
    center.addObserver(QStringLiteral("VolumesChanged"), QStringLiteral("beepbeep"), &context,
                       [&](const QString &, const QString &) { markerSeen = true; });
    // Signals from one connection arrive in order: once a marker posted
    // after them is back, every "SCHEDULECHANGED" before it is too.
    const auto flush = [&] {
        markerSeen = false;
        center.postNotification(QStringLiteral("VolumesChanged"), QStringLiteral("beepbeep"));
        return processEventsUntil([&] { return markerSeen; });
    };
    ASSERT_TRUE(flush()); // what start-up saved
    scheduleChanged = 0;
    LocalNotificationCenter::defaultCenter().post(QStringLiteral("scheduledBackupsDidChange"));
    ASSERT_TRUE(flush());
    EXPECT_EQ(scheduleChanged, 1);
    EXPECT_TRUE(QFileInfo::exists(scheduleFilePath()));
}

TEST_F(StartupTest, TheLoginItemIsWrittenAtEveryStartWithTheAgentAsExec)
{
    startApp();
    QSettings entry(m_dir.filePath(QStringLiteral("autostart/org.vellumor.Vellumor.Helper.desktop")),
                    QSettings::IniFormat);
    EXPECT_EQ(entry.value(QStringLiteral("Desktop Entry/Exec")).toString(), LoginItem::agentExecutablePath());
    EXPECT_EQ(entry.value(QStringLiteral("Desktop Entry/Type")).toString(), QStringLiteral("Application"));
    EXPECT_TRUE(m_alerts.messages.isEmpty());
}

TEST_F(StartupTest, ALoginItemThatCannotBeWrittenIsReportedAndStartUpGoesOn)
{
    writeFile(m_dir.filePath(QStringLiteral("not a folder")), "file\n");
    m_autostartEntryPath = m_dir.filePath(QStringLiteral("not a folder/entry.desktop"));
    startApp();
    EXPECT_TRUE(m_started);
    EXPECT_EQ(m_alerts.messages, QStringList{QStringLiteral("An error ocurred")});
    EXPECT_TRUE(m_app->window().isVisible());
}

TEST_F(StartupTest, ASystemEntryForThisAgentTakesThePlaceOfTheUsersOwnWhenItIsUnchanged)
{
    const QString userEntry = m_dir.filePath(QStringLiteral("autostart/org.vellumor.Vellumor.Helper.desktop"));
    const QByteArray written = LoginItem::autostartEntry(QStringLiteral("/opt/old/libexec/vellumor/vellumor-helper"));
    const QByteArray disabled = written + "Hidden=true\n";
    const struct
    {
        const char *name;
        QString systemAgent; // the system entry's Exec; empty: no system entry
        QByteArray userText; // the user's entry before the start
        bool userEntryKept;
    } cases[] = {
        {"no system entry: the user's entry names this agent", QString(), written, true},
        {"another bundle's system entry", QStringLiteral("/usr/libexec/vellumor/vellumor-helper"), written, true},
        {"this agent's system entry removes an entry an older version wrote", LoginItem::agentExecutablePath(), written,
         false},
        {"an entry the user changed stays", LoginItem::agentExecutablePath(), disabled, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_dir.filePath(QStringLiteral("xdg"))).removeRecursively();
        if (!c.systemAgent.isEmpty())
            writeFile(m_dir.filePath(QStringLiteral("xdg/autostart/org.vellumor.Vellumor.Helper.desktop")),
                      LoginItem::autostartEntry(c.systemAgent));
        writeFile(userEntry, c.userText);
        startApp();
        ASSERT_TRUE(m_started);
        EXPECT_EQ(QFileInfo::exists(userEntry), c.userEntryKept);
        if (c.systemAgent.isEmpty()) {
            QSettings entry(userEntry, QSettings::IniFormat);
            EXPECT_EQ(entry.value(QStringLiteral("Desktop Entry/Exec")).toString(), LoginItem::agentExecutablePath());
        }
        m_app.reset();
    }
}

TEST(LoginItem, ExecQuotesAPathWithBlanksAndReservedCharacters)
{
    EXPECT_TRUE(LoginItem::autostartEntry(QStringLiteral("/opt/v/vellumor-helper"))
                    .contains("\nExec=/opt/v/vellumor-helper\n"));
    EXPECT_TRUE(LoginItem::autostartEntry(QStringLiteral("/opt/My Apps/$x/helper"))
                    .contains("\nExec=\"/opt/My Apps/\\\\$x/helper\"\n"));
}

// A folder on a read-only mount of this machine, if it has one.
QString readOnlyFolder()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 5 && fields.at(5).split(',').contains("ro")
            && QDir(QString::fromUtf8(fields.at(4))).exists())
            return QString::fromUtf8(fields.at(4));
    }
    return {};
}

TEST(ApplicationStartup, ReadOnlyLocationFollowsTheMountFlags)
{
    EXPECT_FALSE(ApplicationStartup::isReadOnlyLocation(QDir::tempPath()));
    const QString readOnly = readOnlyFolder();
    if (readOnly.isEmpty())
        GTEST_SKIP() << "no read-only mount on this machine";
    EXPECT_TRUE(ApplicationStartup::isReadOnlyLocation(readOnly));
}

TEST_F(StartupTest, AStartFromAReadOnlyLocationShowsTheAlertAndQuitsBeforeAnythingElse)
{
    m_bundlePrefix = readOnlyFolder();
    if (m_bundlePrefix.isEmpty())
        GTEST_SKIP() << "no read-only mount on this machine";
    ScheduleFile(scheduleFilePath(), Clock::system()).write({dueJob(m_source, m_dest)});
    startApp({QStringLiteral("vellumor"), QStringLiteral("daemonLaunched")});
    EXPECT_FALSE(m_started);
    EXPECT_EQ(m_alerts.messages, QStringList{QStringLiteral("Move me to the Applications folder")});
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("autostart"))));
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup")); // no scheduled job ran
    EXPECT_FALSE(m_app->window().isVisible());
}

using PreferencesTest = WindowTest;

TEST_F(PreferencesTest, AFreshAccountShowsPowerOffAndTheOthersOnAndStoresAllThree)
{
    startApp();
    PreferencesSheet *sheet = m_app->view().preferencesSheet();
    outlets().preferencesAction->trigger();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(sheet->waitForPowerToBackup()->isChecked());
    EXPECT_TRUE(sheet->protectRoot()->isChecked());
    EXPECT_TRUE(sheet->showAnimation()->isChecked());
    const std::unique_ptr<QSettings> defaults = getUserDefaults();
    for (QLatin1String key : {DefaultsKey::waitForPowerToBackup, DefaultsKey::protectRoot, DefaultsKey::showAnimation})
        EXPECT_TRUE(defaults->contains(key)) << key.data();
    sheet->dismissPreferencesSheet();
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(PreferencesTest, TheFilterThatProtectsTheTopLevelFollowsTheCheckBox)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    PreferencesSheet *sheet = m_app->view().preferencesSheet();
    const QString filter = QStringLiteral("--filter=P /*");
    for (bool protect : {false, true}) {
        SCOPED_TRACE(protect);
        outlets().preferencesAction->trigger();
        sheet->protectRoot()->setChecked(protect);
        sheet->waitForPowerToBackup()->setChecked(!protect);
        sheet->dismissPreferencesSheet();
        EXPECT_EQ(getUserDefaults()->value(DefaultsKey::protectRoot).toBool(), protect);
        EXPECT_EQ(getUserDefaults()->value(DefaultsKey::waitForPowerToBackup).toBool(), !protect);
        const int runs = m_runsFinished;
        outlets().startButton->click();
        ASSERT_TRUE(waitForRunsFinished(runs + 1));
        EXPECT_EQ(m_app->view().configSheet()->argumentValues().contains(filter), protect);
        // Opening again shows what was stored.
        outlets().preferencesAction->trigger();
        EXPECT_EQ(sheet->protectRoot()->isChecked(), protect);
        sheet->dismissPreferencesSheet();
    }
}

// Fast snapshots is off until chosen, and the sheet shows and stores the choice.
TEST_F(PreferencesTest, TheFastSnapshotsChoiceIsOffUntilChosenAndStored)
{
    startApp();
    PreferencesSheet *sheet = m_app->view().preferencesSheet();
    outlets().preferencesAction->trigger();
    EXPECT_FALSE(sheet->fastSnapshots()->isChecked());
    EXPECT_FALSE(sheet->fastSnapshots()->accessibleName().isEmpty());
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast);
        sheet->fastSnapshots()->setChecked(fast);
        sheet->dismissPreferencesSheet();
        EXPECT_EQ(SharedDefaults::fastSnapshots(*getUserDefaults()), fast);
        outlets().preferencesAction->trigger();
        EXPECT_EQ(sheet->fastSnapshots()->isChecked(), fast);
    }
    sheet->dismissPreferencesSheet();
}

TEST(HelpLinks, TheManualOpensWithItsQueriesAndFragment)
{
    EXPECT_EQ(HelpLinks::menuHelpUrl(QStringLiteral("/p/manual")).toString(),
              QStringLiteral("file:///p/manual/vellumor-user-manual/index.html?MenuHelp"));
    EXPECT_EQ(HelpLinks::snapshotsHelpUrl(QStringLiteral("/p/manual")).toString(),
              QStringLiteral("file:///p/manual/vellumor-user-manual/index.html?SnapshotsHelp=#IncrementalSnapshot"));
    EXPECT_TRUE(QFileInfo::exists(HelpLinks::manualRoot() + QStringLiteral("/vellumor-user-manual/index.html")));
}

TEST(HelpLinks, NotificationSettingsByDesktop)
{
    EXPECT_EQ(HelpLinks::notificationSettingsCommand(QStringLiteral("ubuntu:GNOME")),
              (QStringList{QStringLiteral("gnome-control-center"), QStringLiteral("notifications")}));
    EXPECT_EQ(HelpLinks::notificationSettingsCommand(QStringLiteral("KDE")),
              (QStringList{QStringLiteral("systemsettings"), QStringLiteral("kcm_notifications")}));
    EXPECT_TRUE(HelpLinks::notificationSettingsCommand(QStringLiteral("XFCE")).isEmpty());
}

TEST(HelpLinks, WithoutABrowserTheManualOpensInAWindowOfOurOwnAtItsSection)
{
    const struct
    {
        const char *name;
        QString opener;
    } cases[] = {
        {"no opener installed", QStringLiteral("vellumor-no-such-opener")},
        {"an opener that finds no browser", QStringLiteral("false")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HelpLinks::openManual(HelpLinks::snapshotsHelpUrl(), nullptr, c.opener);
        HelpLinks::ManualWindow *window = nullptr;
        ASSERT_TRUE(processEventsUntil([&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *manual = qobject_cast<HelpLinks::ManualWindow *>(top); manual && manual->isVisible())
                    window = manual;
            return window != nullptr;
        }));
        EXPECT_TRUE(window->browser()->toPlainText().contains(QStringLiteral("Snapshot")));
        EXPECT_EQ(window->browser()->source().fileName(), QStringLiteral("index.html"));
        EXPECT_GT(window->browser()->verticalScrollBar()->value(), 0) << "scrolled to its section";
        window->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST(HelpLinks, NotificationSettingsThatCannotBeOpenedSaySo)
{
    qputenv("XDG_CURRENT_DESKTOP", "XFCE");
    QWidget parent;
    EXPECT_FALSE(HelpLinks::configureNotificationsInSystemPreferencesClicked(&parent));
    auto *message = parent.findChild<QMessageBox *>(QStringLiteral("notificationSettingsMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), QStringLiteral("The notification settings cannot be opened"));
    qunsetenv("XDG_CURRENT_DESKTOP");
}

using WindowLayoutTest = WindowTest;

QMap<QString, QRect> geometries(QWidget &window)
{
    QMap<QString, QRect> result;
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (!widget->objectName().isEmpty() && widget->isVisible())
            result.insert(widget->objectName(), widget->geometry());
    }
    return result;
}

TEST_F(WindowLayoutTest, TheTriangleAndItsLabelSwitchBetweenTheSameTwoLayouts)
{
    startApp();
    QWidget &window = m_app->window();
    DisclosureLayouts *disclosure = outlets().disclosure;
    ASSERT_TRUE(disclosure->isOpen());
    QApplication::processEvents();
    const QMap<QString, QRect> open = geometries(window);
    EXPECT_TRUE(open.contains(QStringLiteral("schedulingView")));
    outlets().disclosureTriangle->click();
    QApplication::processEvents();
    EXPECT_FALSE(disclosure->isOpen());
    const QMap<QString, QRect> closed = geometries(window);
    EXPECT_FALSE(closed.contains(QStringLiteral("schedulingView")));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        outlets().schedulingTextButton->click(); // the label does what the triangle does
        QApplication::processEvents();
        EXPECT_TRUE(disclosure->isOpen());
        EXPECT_EQ(geometries(window), open);
        outlets().disclosureTriangle->click();
        QApplication::processEvents();
        EXPECT_EQ(geometries(window), closed);
    }
}

TEST_F(WindowLayoutTest, EveryControlHasAnAccessibleName)
{
    startApp();
    QList<QWidget *> controls;
    for (QWidget *root :
         QList<QWidget *>{&m_app->window(), m_app->view().preferencesSheet(), m_app->view().configSheet()}) {
        for (QAbstractButton *button : root->findChildren<QAbstractButton *>())
            controls << button;
        for (QComboBox *box : root->findChildren<QComboBox *>())
            controls << box;
        for (QLineEdit *edit : root->findChildren<QLineEdit *>())
            controls << edit;
        for (QAbstractItemView *view : root->findChildren<QAbstractItemView *>())
            controls << view;
    }
    for (QWidget *control : std::as_const(controls)) {
        // Parts Qt builds inside its own widgets (spin box arrows, header
        // corners, a combo box's line edit and list, the menu bar's overflow
        // button) are named by their owners.
        if (control->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        if (control->parentWidget()
            && (qobject_cast<QComboBox *>(control->parentWidget())
                || qobject_cast<QAbstractSpinBox *>(control->parentWidget())
                || qobject_cast<QAbstractItemView *>(control->parentWidget())
                || control->parentWidget()->inherits("QComboBoxPrivateContainer")))
            continue;
        EXPECT_FALSE(control->accessibleName().isEmpty())
            << control->metaObject()->className() << " " << qPrintable(control->objectName());
    }
}

} // namespace

namespace {

TEST(MessageBoxAlertPresenter, WithoutADisplayTheAlertIsLoggedAndNeverWaits)
{
    // The tests run on the offscreen platform, as the agent's starts do
    // without a display; a modal box there would wait forever.
    MessageBoxAlertPresenter alerts(nullptr);
    alerts.runModalAlert(QStringLiteral("Out of drive space"), QStringLiteral("The copy is incomplete."),
                         QStringLiteral("OK"));
    SUCCEED();
}

} // namespace
