// What the user sees of a run: the window's states on start, stop,
// completion and restore, a real backup through the start button, and the
// quit question.
#include "WindowFixture.h"

#include "OptionsSheet.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

struct WindowState
{
    QString title;
    bool pickersEnabled;
    bool optionsEnabled;
    bool helpVisible;
    bool modeVisible;
    bool displayTextVisible;
};

const WindowState idle{QStringLiteral("Backup"), true, true, true, true, false};
const WindowState running{QStringLiteral("Stop"), false, false, false, false, true};

void expectState(const MainWindowOutlets &o, const WindowState &state)
{
    EXPECT_EQ(o.startButton->text(), state.title);
    EXPECT_EQ(o.startButton->accessibleName(), state.title);
    EXPECT_EQ(o.sourceButton->isEnabled(), state.pickersEnabled);
    EXPECT_EQ(o.destButton->isEnabled(), state.pickersEnabled);
    EXPECT_EQ(o.schedulingView->addToScheduleButton()->isEnabled(), state.pickersEnabled);
    EXPECT_EQ(o.optionsButton->isEnabled(), state.optionsEnabled);
    EXPECT_EQ(o.helpButton->isVisible(), state.helpVisible);
    EXPECT_EQ(o.duplicateOrHardlinks->isVisible(), state.modeVisible);
    EXPECT_EQ(o.displayText->isVisible(), state.displayTextVisible);
}

class WindowStatesTest : public WindowTest
{
protected:
    // Starts a backup and chooses Quit: the question asked, or null.
    QMessageBox *quitDuringABackup();
};

TEST_F(WindowStatesTest, AClickOnBackupCopiesARealFolderWithRsyncAndReturnsToIdle)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    expectState(outlets(), idle);
    outlets().startButton->click();
    expectState(outlets(), running);
    ASSERT_TRUE(waitForRunsFinished(1));
    EXPECT_EQ(m_lastOutcome, MFTaskAppDelegate::RunOutcome::Completed);
    expectState(outlets(), idle);
    // The reader shows its closing text right after the run's end.
    EXPECT_TRUE(processEventsUntil([&] { return outlets().jobState->text() == QStringLiteral("Backup Complete."); }));
    QFile copied(m_dest + QStringLiteral("/Documents/letter.txt"));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("Dear reader\n"));
    EXPECT_EQ(QFileInfo(m_dest + QStringLiteral("/Documents/photos/beach.jpg")).size(), 50000);
    // The options sheet lists the arguments rsync was given.
    EXPECT_TRUE(m_app->view().configSheet()->argumentValues().contains(QStringLiteral("--delete")));
}

TEST_F(WindowStatesTest, StopReturnsToIdleAtOnce)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    outlets().startButton->click();
    expectState(outlets(), running);
    outlets().startButton->click();
    expectState(outlets(), idle);
    EXPECT_EQ(m_runsFinished, 1);
    EXPECT_EQ(m_lastOutcome, MFTaskAppDelegate::RunOutcome::Stopped);
    EXPECT_EQ(m_exitRequests, 0);
}

TEST_F(WindowStatesTest, RestoreAsksForBothPlacesCopiesWithUpdateAndDeletesNothing)
{
    startApp();
    writeFile(m_dest + QStringLiteral("/kept.txt"), "only on the restore destination\n");
    m_chooser.folderAnswers = {m_source, m_dest};
    outlets().restoreAction->trigger();
    ASSERT_EQ(m_chooser.requests.size(), 2);
    EXPECT_EQ(m_chooser.requests.at(0).prompt, QStringLiteral("Select Restore Source"));
    EXPECT_TRUE(m_chooser.requests.at(0).message.startsWith(
        QStringLiteral("Select the folder or volume you want to restore *from*.\n")));
    EXPECT_EQ(m_chooser.requests.at(1).prompt, QStringLiteral("Select Restore Destination"));
    expectState(outlets(), running);
    EXPECT_FALSE(m_app->controller().isRestore);
    ASSERT_TRUE(waitForRunsFinished(1));
    expectState(outlets(), idle);
    const QStringList arguments = m_app->view().configSheet()->argumentValues();
    EXPECT_TRUE(arguments.contains(QStringLiteral("--update")));
    EXPECT_FALSE(arguments.contains(QStringLiteral("--delete")));
    EXPECT_TRUE(QFileInfo::exists(m_dest + QStringLiteral("/kept.txt")));
    // What the chosen folder holds is restored into the chosen place.
    EXPECT_TRUE(QFileInfo::exists(m_dest + QStringLiteral("/letter.txt")));
    EXPECT_FALSE(QFileInfo::exists(m_dest + QStringLiteral("/Documents")));
    // The restore's choices are the window's choices afterwards.
    EXPECT_EQ(outlets().sourceName->text(), QStringLiteral("Documents"));
    EXPECT_EQ(outlets().destName->text(), QStringLiteral("Backup Disk"));

    // A file chosen as the source is restored as itself.
    const QString into = m_dir.filePath(QStringLiteral("Letters"));
    QDir().mkpath(into);
    m_chooser.folderAnswers = {m_source + QStringLiteral("/letter.txt"), into};
    outlets().restoreAction->trigger();
    ASSERT_TRUE(waitForRunsFinished(2));
    EXPECT_EQ(m_lastOutcome, MFTaskAppDelegate::RunOutcome::Completed);
    EXPECT_TRUE(QFileInfo(into + QStringLiteral("/letter.txt")).isFile());
}

TEST_F(WindowStatesTest, CancellingTheRestoreSourceStartsNothing)
{
    startApp();
    m_chooser.folderAnswers = {QString()};
    outlets().restoreAction->trigger();
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Backup"));
    EXPECT_TRUE(outlets().duplicateOrHardlinks->isVisible());
    EXPECT_FALSE(m_app->controller().isRestore);
    EXPECT_EQ(m_chooser.requests.size(), 1);
    // Nothing chosen yet: neither starting nor scheduling is offered.
    EXPECT_FALSE(outlets().startButton->isEnabled());
    EXPECT_FALSE(outlets().schedulingView->addToScheduleButton()->isEnabled());
    EXPECT_EQ(m_runsFinished, 0);
}

QMessageBox *quitQuestion(VellumorApplication &app)
{
    QMessageBox *box = app.view().quitQuestion();
    return box && box->isVisible() ? box : nullptr;
}

QMessageBox *WindowStatesTest::quitDuringABackup()
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    outlets().startButton->click();
    outlets().quitAction->trigger();
    return quitQuestion(*m_app);
}

QAbstractButton *buttonTitled(QMessageBox *box, const QString &title)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

TEST_F(WindowStatesTest, QuittingWhileIdleNeverAsks)
{
    startApp();
    outlets().quitAction->trigger();
    EXPECT_EQ(quitQuestion(*m_app), nullptr);
    EXPECT_EQ(m_exitRequests, 1);
}

TEST_F(WindowStatesTest, QuittingDuringABackupAsksOnceAndCancelLeavesTheRunGoing)
{
    QMessageBox *box = quitDuringABackup();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Backup currently in progress"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("org.vellumor.Vellumor is currently performing a backup. Are you sure you want to quit?"));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    // Asking again while the question is open shows no second question.
    outlets().quitAction->trigger();
    EXPECT_EQ(m_app->window().findChildren<QMessageBox *>().size(), 1);
    buttonTitled(box, QStringLiteral("Cancel"))->click();
    processEventsUntil([&] { return quitQuestion(*m_app) == nullptr; });
    EXPECT_EQ(m_exitRequests, 0);
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
}

TEST_F(WindowStatesTest, QuitInTheQuestionEndsTheRunAndExits)
{
    QMessageBox *box = quitDuringABackup();
    ASSERT_NE(box, nullptr);
    buttonTitled(box, QStringLiteral("Quit"))->click();
    ASSERT_TRUE(processEventsUntil([&] { return m_exitRequests == 1; }));
    EXPECT_TRUE(m_app->controller().userSelectedShouldTerminate);
}

TEST_F(WindowStatesTest, ClosingTheWindowDuringABackupAsksInsteadOfClosing)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    outlets().startButton->click();
    EXPECT_FALSE(m_app->window().close());
    EXPECT_TRUE(m_app->window().isVisible());
    ASSERT_NE(quitQuestion(*m_app), nullptr);
    buttonTitled(quitQuestion(*m_app), QStringLiteral("Cancel"))->click();
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
}

TEST_F(WindowStatesTest, ClosingTheWindowWhileIdleCloses)
{
    startApp();
    EXPECT_TRUE(m_app->window().close());
    EXPECT_EQ(quitQuestion(*m_app), nullptr);
}

} // namespace
