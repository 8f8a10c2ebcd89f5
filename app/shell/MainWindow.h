#pragma once

// The main window titled "Vellumor": the source and destination pickers with
// the arrow between them, the mode choice, the start button, the link
// destination label, the transfer area, the help and options buttons, the
// disclosure triangle with the scheduling panel, the bottom line, the
// progress bar and the status line, and the menus. Widgets and layout only:
// MainWindowView connects them to the controller.
//
// What callers may rely on: every control has an accessible name; the start
// and add-to-schedule buttons start disabled; closing the window asks
// shouldClose (when set) and stays open when it answers no.

#include <QMainWindow>

#include <functional>

class DisclosureLayouts;
class QAction;
class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class QVBoxLayout;
class SchedulingPanel;
class VolumePopUpButton;

struct MainWindowOutlets
{
    VolumePopUpButton *popUpSourceList = nullptr;
    VolumePopUpButton *popUpDestList = nullptr;
    QToolButton *sourceButton = nullptr;
    QToolButton *destButton = nullptr;
    QLabel *sourceName = nullptr;
    QLabel *destName = nullptr;
    QLabel *arrow = nullptr;
    // How the job on screen stands: last backup, last attempt, next run.
    QLabel *jobHealth = nullptr;
    QWidget *duplicateOrHardlinks = nullptr;
    QRadioButton *syncRow = nullptr;
    QRadioButton *snapshotRow = nullptr;
    QButtonGroup *modeRows = nullptr;
    QPushButton *startButton = nullptr;
    QToolButton *helpButton = nullptr;
    QPushButton *optionsButton = nullptr;
    QLabel *labelLinkDest = nullptr;
    QGroupBox *box = nullptr;
    QWidget *transferArea = nullptr;
    QLabel *displayText = nullptr;
    QToolButton *disclosureTriangle = nullptr;
    QPushButton *schedulingTextButton = nullptr;
    SchedulingPanel *schedulingView = nullptr;
    QFrame *bottomHorizontalLine = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *jobState = nullptr;
    DisclosureLayouts *disclosure = nullptr;
    // Menus.
    QAction *restoreAction = nullptr;
    QAction *stopAction = nullptr;
    QAction *preferencesAction = nullptr;
    QAction *notificationSettingsAction = nullptr;
    QAction *helpAction = nullptr;
    QAction *quitAction = nullptr;
};

class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    const MainWindowOutlets &outlets() const { return m_outlets; }

    // Puts the animated transfer view into the transfer area box.
    void setTransferView(QWidget *view);
    // The compact layout of a file-manager copy (only the transfer, the
    // progress and the stop button; FinderCopyLayout).
    void setUIForFinderCopy();

    // windowShouldClose: asked before the window closes.
    std::function<bool()> shouldClose;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildPickers(QWidget *parent);
    QWidget *buildPickerColumn(bool source, QWidget *parent);
    QWidget *buildControlsRow(QWidget *parent);
    QWidget *buildTransferBox(QWidget *parent);
    void buildDisclosure(QVBoxLayout *layout, QWidget *parent);
    void buildMenus();

    MainWindowOutlets m_outlets;
};
