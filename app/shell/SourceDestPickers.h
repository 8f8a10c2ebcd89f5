#pragma once

// The source and destination pickers: the two volume menus and the two big
// buttons that open the folder chooser. Every choice lands in the
// controller's backupSources (entry 0) and backupDest, shows the item's icon
// and display name, enables starting once both sides are set, and looks for
// the pair's previous snapshot (handleLinkDest).
//
// What callers may rely on: a cancelled chooser and a volume that went away
// since its menu was built change nothing; the pop-up buttons stay usable
// during a run (the big buttons are disabled by the window state).

#include <QObject>
#include <QString>

class FolderChooser;
class MFTaskAppDelegate;
class QLabel;
class QPushButton;
class QToolButton;
class VolumeLister;
class VolumePopUpButton;

struct PickerSide
{
    VolumePopUpButton *popUp = nullptr;
    QToolButton *bigButton = nullptr;
    QLabel *name = nullptr;
};

class SourceDestPickers : public QObject
{
    Q_OBJECT
public:
    static constexpr int bigIconSize = 116;

    SourceDestPickers(MFTaskAppDelegate &controller, PickerSide source, PickerSide dest, QPushButton *startButton,
                      QPushButton *addToScheduleButton, FolderChooser &chooser, const VolumeLister &volumes,
                      QObject *parent = nullptr);

    void repopulateMountedVolumesMenu(bool leaveSelection);
    void repopulateMountedVolumesMenu_Dest(bool leaveSelection);
    void popUpSourceListClicked(int position);
    void popUpDestListClicked(int position);
    bool setBigButtonIcon(bool source, bool guess);
    void doOpenSource() { setBigButtonIcon(true, false); }
    void doOpenDest() { setBigButtonIcon(false, false); }

    // The restore chooser: the folder chooser with the restore texts; shows
    // the choice on its side. Empty when cancelled; a source ends in "/", as
    // its contents are restored.
    QString chooseForRestore(bool source, const QString &prompt, const QString &message);

    void showIcon(bool source, const QString &path);
    void showDisplayName(bool source, const QString &name);
    // Enables start and add-to-schedule when both sides are set.
    void enableStartIfBothChosen();

private:
    void repopulate(bool source, bool leaveSelection);
    void popUpClicked(bool source, int position);
    void applyChoice(bool source, const QString &path);
    QString chooseFolder(bool source, const QString &prompt, const QString &message);
    const PickerSide &side(bool source) const { return source ? m_source : m_dest; }

    MFTaskAppDelegate &m_controller;
    PickerSide m_source;
    PickerSide m_dest;
    QPushButton *m_startButton;
    QPushButton *m_addToScheduleButton;
    FolderChooser &m_chooser;
    const VolumeLister &m_volumes;
};
