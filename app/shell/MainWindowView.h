#pragma once

// The controller's view over the real window: every call of MFTaskAppView
// lands on a widget of MainWindow or on one of the window's collaborators
// (pickers, exclusion list, schedule list, preferences and options sheets),
// and the window's buttons and menus call the controller back. Each role of
// the view has its own source file: the schedule editor and the wiring
// (MainWindowView.cpp), the run view (MainWindowRunView.cpp) and the prompts
// (MainWindowPrompts.cpp).
//
// What callers may rely on: alerts and the quit question are window-modal
// sheets (QMessageBox::open) that return at once; the quit question ends in
// MFTaskAppDelegate::quitOrCancel() with 1000 for "Quit"; choosers run
// modally; terminateApplication() calls the terminate handler.

#include "MFTaskAppView.h"
#include "WidgetControls.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ExcludeFilesTableView;
class FolderChooser;
class MFTaskAppDelegate;
class MainWindow;
class OptionsSheet;
class PreferencesSheet;

class SharedSchedule;
class SourceDestPickers;
class TableViewVariableRowHeightsAppDelegate;
class VolumeLister;
struct MainWindowOutlets;

class MainWindowView final : public QObject, public MFTaskAppView
{
    Q_OBJECT
public:
    MainWindowView(MainWindow &window, SharedSchedule &schedule, FolderChooser &chooser, const VolumeLister &volumes,
                   QObject *parent = nullptr);
    ~MainWindowView() override;

    // Builds the collaborators that act on the controller and connects the
    // window's controls to it. Call once, right after the controller exists.
    void attach(MFTaskAppDelegate &controller);

    // Called when the controller asks the application to quit.
    std::function<void()> onTerminate;

    SourceDestPickers *pickers() const { return m_pickers.get(); }
    ExcludeFilesTableView *exclusions() const { return m_exclusions.get(); }
    TableViewVariableRowHeightsAppDelegate *tableViewDelegate() const { return m_scheduleList.get(); }
    PreferencesSheet *preferencesSheet() const { return m_preferences; }
    OptionsSheet *configSheet() const { return m_options; }
    // The open quit question, if any.
    QMessageBox *quitQuestion() const { return m_quitQuestion; }
    void setAnimatingView(TransferAnimationView *view) { m_animatingView = view; }

    // ScheduleEntryView
    bool isScheduledDaySelected(int segment) const override;
    void setScheduledDaySelected(int segment, bool selected) override;
    QTime scheduledTime() const override;
    void setScheduledTime(const QTime &time) override;
    QString snapshotsToKeepText() const override;
    void setSnapshotsToKeepText(const QString &text) override;
    void reloadScheduleTable() override;

    // ScheduledJobView
    void showSourceIcon(const QString &path) override;
    void setSourceDisplayName(const QString &name) override;
    void showDestIcon(const QString &path) override;
    void setDestDisplayName(const QString &name) override;
    void selectDuplicateOrHardlinksRow(int row) override;
    void setDelegateExcludedFiles(const QStringList &excludedFiles) override;
    void setStartButtonEnabled(bool enabled) override;
    void setAddToScheduleButtonEnabled(bool enabled) override;
    void repopulateMountedVolumesMenu_Dest(bool leaveSelection) override;
    void repopulateMountedVolumesMenu(bool leaveSelection) override;

    // MFTaskAppView
    void setStartButtonTitle(const QString &title) override;
    int selectedModeRow() const override;
    void setSourceButtonEnabled(bool enabled) override;
    void setDestButtonEnabled(bool enabled) override;
    void setOptionsButtonEnabled(bool enabled) override;
    void setHelpButtonVisible(bool visible) override;
    void setModeChoiceVisible(bool visible) override;
    void setDisplayTextVisible(bool visible) override;
    void setProgressBarVisible(bool visible) override;
    void startProgressAnimation() override {}
    void setArgumentRows(const QList<Argument> &rows) override;
    void setLinkDestText(const QString &text) override;
    void showAlert(const QString &message, const QString &informativeText) override;
    void deliverUserNotification(const QString &title, const QString &text) override;
    QString chooseFolder(bool isSource, const QString &prompt, const QString &message) override;
    void askToQuitDuringBackup(const QString &message, const QString &informativeText) override;
    void offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted) override;
    void terminateApplication() override;
    void terminateAfterAlerts() override;
    // False when the window is on no screen (started without a display):
    // nobody could dismiss an alert there.
    void setAlertsCanBeRead(bool canBeRead) { m_alertsCanBeRead = canBeRead; }
    // "Old Snapshots…": the job's rule, chosen over a preview.
    void chooseRetention();
    // "Remove from Schedule" and Delete in the schedule list: asks first.
    void confirmRemoveFromSchedule();
    ProgressIndicator *progressBar() override { return &m_progressBar; }
    TextField *jobState() override { return &m_jobState; }
    TextField *displayText() override { return &m_displayText; }
    TransferAnimationView *animatingView() override { return m_animatingView; }
    AlertPresenter *alertPresenter() override { return &m_alertPresenter; }

private:
    void connectControls();
    void snapshotsCountEdited();
    const MainWindowOutlets &outlets() const;

    MainWindow &m_window;
    SharedSchedule &m_schedule;
    FolderChooser &m_chooser;
    const VolumeLister &m_volumes;
    MFTaskAppDelegate *m_controller = nullptr;
    ProgressBarControl m_progressBar;
    LabelField m_jobState;
    LabelField m_displayText;
    MessageBoxAlertPresenter m_alertPresenter;
    TransferAnimationView *m_animatingView = nullptr;
    std::unique_ptr<SourceDestPickers> m_pickers;
    std::unique_ptr<ExcludeFilesTableView> m_exclusions;
    std::unique_ptr<TableViewVariableRowHeightsAppDelegate> m_scheduleList;
    PreferencesSheet *m_preferences = nullptr;
    OptionsSheet *m_options = nullptr;
    QPointer<QMessageBox> m_quitQuestion;
    bool m_alertsCanBeRead = true;
    bool m_terminateAfterAlerts = false;
};
