// A start of the window with a file-manager "Paste" waiting in the shared
// suite: the compact window, one run over every copied item in selection
// order that deletes nothing at the target, quitting at its end or at Stop
// without asking, and no scheduled job; and the starts that are not one.
#include "WindowFixture.h"

#include "Clock.h"
#include "FinderCopyHandOver.h"
#include "FinderCopyLayout.h"
#include "JobRecord.h"
#include "OptionsSheet.h"
#include "ScheduleFile.h"
#include "ScheduledJobDispatcher.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>

#include <mutex>
#include <ostream>

namespace {

// --- The layout's rules over plain sizes ----------------------------------------

struct GeometryCase
{
    const char *name;
    QSize content;
    FinderCopyGeometry expected;
};

void PrintTo(const GeometryCase &c, std::ostream *os)
{
    *os << c.name;
}

class FinderCopyGeometryTest : public ::testing::TestWithParam<GeometryCase>
{};

TEST_P(FinderCopyGeometryTest, PlacesEachControlByItsRule)
{
    FinderCopySizes sizes;
    sizes.startButton = QSize(110, 30);
    sizes.progressBarHeight = 12;
    sizes.jobStateHeight = 34;
    sizes.displayTextHeight = 17;
    EXPECT_EQ(FinderCopyLayout::geometry(GetParam().content, sizes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FinderCopyGeometryTest,
                         ::testing::Values(
                             // 100 high: status line 66..99, bar 54..65, button 21..50 (3 above
                             // the bar), transfer line 37..53; the strip runs on below the content.
                             GeometryCase{"Wide",
                                          QSize(780, 100),
                                          {QRect(0, 0, 780, 100), QRect(0, 20, 780, 100), QRect(670, 21, 110, 30),
                                           QRect(0, 54, 780, 12), QRect(20, 66, 740, 34), QRect(20, 37, 642, 17)}},
                             GeometryCase{"Narrow",
                                          QSize(300, 100),
                                          {QRect(0, 0, 300, 100), QRect(0, 20, 300, 100), QRect(190, 21, 110, 30),
                                           QRect(0, 54, 300, 12), QRect(20, 66, 260, 34), QRect(20, 37, 162, 17)}},
                             // A taller window keeps the chain on the bottom edge and the strip
                             // at the top.
                             GeometryCase{"Taller",
                                          QSize(500, 160),
                                          {QRect(0, 0, 500, 160), QRect(0, 20, 500, 100), QRect(390, 81, 110, 30),
                                           QRect(0, 114, 500, 12), QRect(20, 126, 460, 34), QRect(20, 97, 362, 17)}},
                             // Too narrow for the transfer line: its width stops at zero.
                             GeometryCase{"TooNarrow",
                                          QSize(100, 100),
                                          {QRect(0, 0, 100, 100), QRect(0, 20, 100, 100), QRect(-10, 21, 110, 30),
                                           QRect(0, 54, 100, 12), QRect(20, 66, 60, 34), QRect(20, 37, 0, 17)}}),
                         [](const ::testing::TestParamInfo<GeometryCase> &info) {
                             return std::string(info.param.name);
                         });

// --- The window started with the keys ---------------------------------------------

// Log lines written while a test runs.
QStringList g_logLines;
std::mutex g_logMutex;

void recordLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard guard(g_logMutex);
    g_logLines << message;
}

class FinderCopyTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        m_notes = m_dir.filePath(QStringLiteral("notes.txt"));
        m_target = m_dir.filePath(QStringLiteral("Target"));
        writeFile(m_notes, "copied second\n");
        // What the target holds already: a sync with "--delete" would remove
        // both, since neither is in a source.
        writeFile(m_target + QStringLiteral("/keep.txt"), "stays\n");
        writeFile(m_target + QStringLiteral("/Documents/old.txt"), "stays too\n");
    }

    void paste(const QStringList &items)
    {
        QList<QUrl> urls;
        for (const QString &item : items)
            urls << QUrl::fromLocalFile(item);
        ASSERT_TRUE(writeFinderCopyRequest(m_target, urls));
    }
    static bool keysLeft()
    {
        const std::unique_ptr<QSettings> defaults = getUserDefaults();
        return defaults->contains(DefaultsKey::selectedForCopy) || defaults->contains(DefaultsKey::selectedForPaste);
    }
    QList<QWidget *> takenOutControls()
    {
        const MainWindowOutlets &o = outlets();
        return {o.duplicateOrHardlinks, o.disclosureTriangle, o.schedulingView, o.popUpSourceList,
                o.popUpDestList,        o.sourceButton,       o.destButton,     o.arrow,
                o.schedulingTextButton, o.helpButton,         o.optionsButton};
    }
    QList<QWidget *> keptControls()
    {
        const MainWindowOutlets &o = outlets();
        return {o.box, o.transferArea, o.displayText, o.startButton, o.progressBar, o.jobState};
    }

    QString m_notes;
    QString m_target;
};

TEST_F(FinderCopyTest, CopiesEveryItemInSelectionOrderDeletesNothingAndQuitsWithoutAsking)
{
    paste({m_source, m_notes});
    startApp();
    ASSERT_TRUE(m_started);
    MFTaskAppDelegate &controller = m_app->controller();
    EXPECT_TRUE(controller.isFinderCopy);
    EXPECT_EQ(controller.backupSources, (QStringList{m_source, m_notes}));
    EXPECT_EQ(controller.backupDest, m_target);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
    EXPECT_FALSE(keysLeft());

    ASSERT_TRUE(processEventsUntil([&] { return m_exitRequests > 0; }));
    EXPECT_EQ(m_exitRequests, 1);
    EXPECT_EQ(m_runsFinished, 1);
    EXPECT_EQ(m_lastOutcome, MFTaskAppDelegate::RunOutcome::Completed);
    EXPECT_EQ(m_app->view().quitQuestion(), nullptr);
    const QStringList arguments = m_app->view().configSheet()->argumentValues();
    EXPECT_FALSE(arguments.contains(QStringLiteral("--delete")));
    EXPECT_FALSE(arguments.contains(QStringLiteral("--update")));
    EXPECT_EQ(arguments.mid(arguments.size() - 3), (QStringList{m_source, m_notes, m_target + u'/'}));
    for (const char *copied :
         {"/Documents/letter.txt", "/Documents/photos/beach.jpg", "/notes.txt", "/keep.txt", "/Documents/old.txt"})
        EXPECT_TRUE(QFileInfo::exists(m_target + QString::fromLatin1(copied))) << copied;
    // Still a login item, as at every start.
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("autostart/org.vellumor.Vellumor.Helper.desktop"))));
}

TEST_F(FinderCopyTest, AnItemThatIsNotAnAbsoluteLocalPathIsRefusedAndNothingIsCopied)
{
    // rsync read the first as its option and deleted the pasted files.
    ASSERT_TRUE(
        writeFinderCopyRequest(m_target,
                               {QUrl::fromLocalFile(m_source), QUrl(QStringLiteral("file:--remove-source-files")),
                                QUrl(QStringLiteral("file:notes.txt"))}));
    startApp();
    EXPECT_FALSE(keysLeft());
    EXPECT_FALSE(m_app->controller().isRunning());
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
    const QList<QMessageBox *> alerts = m_app->window().findChildren<QMessageBox *>();
    ASSERT_EQ(alerts.size(), 1);
    for (const QString &shown : {alerts.first()->informativeText(), outlets().jobState->text()}) {
        EXPECT_TRUE(shown.contains(QStringLiteral("\"file:--remove-source-files\", \"file:notes.txt\"")))
            << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("are not absolute local paths")));
    }
    EXPECT_TRUE(QFileInfo::exists(m_source + QStringLiteral("/letter.txt")));
    EXPECT_FALSE(QFileInfo::exists(m_target + QStringLiteral("/Documents/letter.txt")));
}

TEST_F(FinderCopyTest, APasteThatCannotBeCopiedSaysWhyAndQuitsOnceThatIsRead)
{
    const struct
    {
        const char *name;
        QString target;
        const char *reason; // in the alert
    } cases[] = {
        {"a relative target", QStringLiteral("Target"), "is not an absolute local path"},
        {"a target on a volume that is not mounted", QStringLiteral("/mnt/vellumor-absent-volume/Target"),
         "is not available"},
        {"a target inside the copied folder", m_source + QStringLiteral("/Inside"), "inside the source"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_exitRequests = 0;
        if (c.target.startsWith(m_source))
            QDir().mkpath(c.target);
        ASSERT_TRUE(writeFinderCopyRequest(c.target, {QUrl::fromLocalFile(m_source)}));
        startApp();
        const auto openAlerts = [&] {
            QList<QMessageBox *> open;
            for (QMessageBox *box : m_app->window().findChildren<QMessageBox *>(QStringLiteral("alert")))
                if (box->isVisible())
                    open << box;
            return open;
        };
        ASSERT_TRUE(processEventsUntil([&] { return !m_app->controller().isRunning() && !openAlerts().isEmpty(); }));
        QApplication::processEvents();
        EXPECT_EQ(m_exitRequests, 0) << "the reason is on screen until it is read";
        const QList<QMessageBox *> alerts = openAlerts();
        ASSERT_EQ(alerts.size(), 1);
        EXPECT_TRUE(alerts.first()->informativeText().contains(QString::fromLatin1(c.reason)))
            << alerts.first()->informativeText().toStdString();
        alerts.first()->buttons().first()->click();
        EXPECT_TRUE(processEventsUntil([&] { return m_exitRequests > 0; }));
        EXPECT_EQ(m_exitRequests, 1);
        m_app.reset();
    }
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("/Inside/Documents")));
}

TEST_F(FinderCopyTest, RunsNoScheduledJobNeitherAtStartNorAfterItsRunAndQuitsEitherWay)
{
    struct Ending
    {
        const char *name;
        bool intoAFile; // rsync refuses to copy two items onto a file
        MFTaskAppDelegate::RunOutcome outcome;
    };
    for (const Ending &ending : {Ending{"Completed", false, MFTaskAppDelegate::RunOutcome::Completed},
                                 Ending{"Failed", true, MFTaskAppDelegate::RunOutcome::Failed}}) {
        SCOPED_TRACE(ending.name);
        m_exitRequests = 0;
        m_runsFinished = 0;
        const QString jobDest = m_dir.filePath(QStringLiteral("Scheduled Disk"));
        QDir().mkpath(jobDest);
        BackupParameters job;
        job.sourcePath = m_source;
        job.destPath = jobDest;
        job.snapshotsToKeep = qlonglong(0);
        job.scheduledDates = {QStringLiteral("Mon-01-01-2024 09:00")}; // long due
        ScheduleFile(scheduleFilePath(), Clock::system()).write({job.getParametersDictionary()});
        if (ending.intoAFile)
            m_target = m_notes;
        paste({m_source, m_notes});
        startApp({QStringLiteral("vellumor"), QStringLiteral("daemonLaunched")});
        ASSERT_TRUE(processEventsUntil([&] { return m_exitRequests > 0; }));
        // Whatever dispatch would do next has had its turn in the event loop.
        QApplication::processEvents();
        EXPECT_EQ(m_exitRequests, 1);
        EXPECT_EQ(m_runsFinished, 1);
        EXPECT_EQ(m_lastOutcome, ending.outcome);
        EXPECT_FALSE(m_app->controller().isRunning());
        EXPECT_TRUE(QDir(jobDest).isEmpty());
        const QList<JobRecord> saved = ScheduleFile(scheduleFilePath(), Clock::system()).arrayWithContentsOfFile();
        ASSERT_EQ(saved.size(), 1);
        EXPECT_EQ(JobRecords::scheduledDates(saved.first()), QStringList{QStringLiteral("Mon-01-01-2024 09:00")});
        EXPECT_EQ(m_app->controller().dispatcher()->jobsToDo().size(), 0);
        m_app.reset();
    }
}

TEST_F(FinderCopyTest, StopQuitAndCloseEndTheCopyWithoutAsking)
{
    struct Ending
    {
        const char *name;
        std::function<void(MainWindow &)> act;
    };
    const QList<Ending> endings{
        {"Stop", [](MainWindow &w) { w.outlets().startButton->click(); }},
        {"Quit", [](MainWindow &w) { w.outlets().quitAction->trigger(); }},
        {"CloseWindow", [](MainWindow &w) { w.close(); }},
    };
    for (const Ending &ending : endings) {
        SCOPED_TRACE(ending.name);
        m_exitRequests = 0;
        m_runsFinished = 0;
        paste({m_source, m_notes});
        startApp();
        ASSERT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
        ending.act(m_app->window());
        EXPECT_EQ(m_app->view().quitQuestion(), nullptr);
        if (std::string_view(ending.name) == "CloseWindow")
            EXPECT_FALSE(m_app->window().isVisible());
        else
            EXPECT_EQ(m_exitRequests, 1);
        if (std::string_view(ending.name) == "Stop") {
            EXPECT_EQ(m_runsFinished, 1);
            EXPECT_EQ(m_lastOutcome, MFTaskAppDelegate::RunOutcome::Stopped);
            EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
        }
        m_app.reset();
    }
}

TEST_F(FinderCopyTest, TheCompactWindowKeepsOnlyTheTransferTheButtonTheBarAndTheStatus)
{
    paste({m_source});
    startApp();
    QApplication::processEvents();
    MainWindow &window = m_app->window();
    for (QWidget *control : takenOutControls()) {
        SCOPED_TRACE(qPrintable(control->accessibleName()));
        EXPECT_FALSE(window.isAncestorOf(control));
        EXPECT_FALSE(control->isVisible());
    }
    // The controller's idle and running states do not bring them back.
    m_app->view().setHelpButtonVisible(true);
    m_app->view().setModeChoiceVisible(true);
    EXPECT_FALSE(outlets().helpButton->isVisible());
    EXPECT_FALSE(outlets().duplicateOrHardlinks->isVisible());
    EXPECT_FALSE(window.menuBar()->isVisible());

    QWidget *content = window.centralWidget();
    for (QWidget *control : keptControls()) {
        SCOPED_TRACE(qPrintable(control->accessibleName() + u' ' + control->objectName()));
        EXPECT_EQ(control->parentWidget(), content);
        EXPECT_TRUE(control->isVisible());
        // The strip is a container; the animated view inside is named.
        if (control != outlets().transferArea) {
            EXPECT_FALSE(control->accessibleName().isEmpty());
        }
    }
    EXPECT_EQ(content->height(), FinderCopyLayout::contentHeight);
    EXPECT_EQ(window.height(), FinderCopyLayout::contentHeight);
    EXPECT_EQ(window.width(), 780); // its width before

    const MainWindowOutlets &o = outlets();
    const int width = content->width();
    EXPECT_EQ(o.box->geometry(), content->rect());
    EXPECT_EQ(o.transferArea->geometry(), QRect(0, 20, width, 100));
    EXPECT_EQ(o.startButton->geometry().right(), width - 1);
    EXPECT_EQ(o.progressBar->geometry().top() - o.startButton->geometry().bottom() - 1, 3);
    EXPECT_EQ(o.progressBar->geometry().left(), 0);
    EXPECT_EQ(o.progressBar->width(), width);
    EXPECT_EQ(o.jobState->geometry().top(), o.progressBar->geometry().bottom() + 1);
    EXPECT_EQ(o.jobState->geometry().bottom(), content->height() - 1);
    EXPECT_EQ(o.displayText->geometry().left(), 20);
    EXPECT_EQ(o.displayText->geometry().bottom() + 1, o.progressBar->geometry().top());
    EXPECT_LE(o.displayText->geometry().right(), o.startButton->geometry().left());

    // The strip lies behind the controls: a click on the button reaches it.
    EXPECT_EQ(content->childAt(o.startButton->geometry().center()), o.startButton);
    const QObjectList stack = content->children();
    EXPECT_LT(stack.indexOf(o.box), stack.indexOf(o.transferArea));
    for (QWidget *control : {static_cast<QWidget *>(o.startButton), static_cast<QWidget *>(o.progressBar),
                             static_cast<QWidget *>(o.jobState), static_cast<QWidget *>(o.displayText)})
        EXPECT_LT(stack.indexOf(o.transferArea), stack.indexOf(control));

    // A wider window places everything again.
    window.resize(900, window.height());
    QApplication::processEvents();
    EXPECT_EQ(o.startButton->geometry().right(), content->width() - 1);
    EXPECT_EQ(o.progressBar->width(), content->width());
}

TEST_F(FinderCopyTest, ARightToLeftCompactWindowIsMirrored)
{
    paste({m_source});
    startApp();
    MainWindow &window = m_app->window();
    window.setLayoutDirection(Qt::RightToLeft);
    QApplication::processEvents();
    const MainWindowOutlets &o = outlets();
    QWidget *content = window.centralWidget();
    EXPECT_EQ(o.startButton->geometry().left(), 0);
    EXPECT_EQ(o.displayText->geometry().right(), content->width() - 1 - 20);
    EXPECT_EQ(o.progressBar->geometry(), QRect(0, o.progressBar->y(), content->width(), o.progressBar->height()));
    EXPECT_EQ(o.transferArea->geometry(), QRect(0, 20, content->width(), 100));
}

TEST_F(FinderCopyTest, WithoutBothKeysTheWindowStartsNormallyAndLeavesAnyKeyAlone)
{
    struct Keys
    {
        const char *name;
        bool paste;
        bool copy;
    };
    for (const Keys &keys :
         {Keys{"None", false, false}, Keys{"OnlyPaste", true, false}, Keys{"OnlyCopy", false, true}}) {
        SCOPED_TRACE(keys.name);
        QFile::remove(sharedDefaultsFilePath());
        {
            const std::unique_ptr<QSettings> defaults = getUserDefaults();
            if (keys.paste)
                defaults->setValue(DefaultsKey::selectedForPaste, m_target);
            if (keys.copy)
                defaults->setValue(DefaultsKey::selectedForCopy, archiveFileURLs({QUrl::fromLocalFile(m_notes)}));
        }
        startApp();
        EXPECT_FALSE(m_app->controller().isFinderCopy);
        EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
        EXPECT_TRUE(m_app->window().menuBar()->isVisible());
        EXPECT_GT(m_app->window().height(), FinderCopyLayout::contentHeight);
        for (QWidget *control : takenOutControls())
            EXPECT_TRUE(m_app->window().isAncestorOf(control)) << qPrintable(control->accessibleName());
        EXPECT_EQ(m_exitRequests, 0);
        const std::unique_ptr<QSettings> defaults = getUserDefaults();
        EXPECT_EQ(defaults->contains(DefaultsKey::selectedForPaste), keys.paste);
        EXPECT_EQ(defaults->contains(DefaultsKey::selectedForCopy), keys.copy);
        m_app.reset();
    }
}

TEST_F(FinderCopyTest, APasteWithoutItemsLogsAndQuitsWithoutARun)
{
    paste({});
    g_logLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLog);
    startApp();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_logLines.contains(QStringLiteral("no backup source, quitting\n")));
    EXPECT_EQ(m_exitRequests, 1);
    // Start-up answers "quit at once": the window is never shown.
    EXPECT_FALSE(m_started);
    EXPECT_FALSE(m_app->window().isVisible());
    EXPECT_TRUE(m_app->controller().isFinderCopy);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
    EXPECT_EQ(m_runsFinished, 0);
    EXPECT_FALSE(keysLeft());
}

TEST_F(FinderCopyTest, ALaunchAfterTheKeysWereTakenStartsNormally)
{
    paste({m_notes});
    startApp();
    ASSERT_TRUE(processEventsUntil([&] { return m_exitRequests > 0; }));
    m_app.reset();
    m_exitRequests = 0;
    startApp();
    EXPECT_FALSE(m_app->controller().isFinderCopy);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
    EXPECT_TRUE(m_app->window().isAncestorOf(outlets().sourceButton));
    EXPECT_EQ(m_exitRequests, 0);
}

} // namespace
