#include "SourceDestPickers.h"

#include "DisplayName.h"
#include "FolderChooser.h"
#include "MFTaskAppDelegate.h"
#include "VolumeMenus.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

SourceDestPickers::SourceDestPickers(MFTaskAppDelegate &controller, PickerSide source, PickerSide dest,
                                     QPushButton *startButton, QPushButton *addToScheduleButton, FolderChooser &chooser,
                                     const VolumeLister &volumes, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_source(source)
    , m_dest(dest)
    , m_startButton(startButton)
    , m_addToScheduleButton(addToScheduleButton)
    , m_chooser(chooser)
    , m_volumes(volumes)
{
    connect(m_source.popUp, &VolumePopUpButton::menuNeedsUpdate, this, [this] { repopulate(true, false); });
    connect(m_dest.popUp, &VolumePopUpButton::menuNeedsUpdate, this, [this] { repopulate(false, false); });
    connect(m_source.popUp, &QComboBox::activated, this, &SourceDestPickers::popUpSourceListClicked);
    connect(m_dest.popUp, &QComboBox::activated, this, &SourceDestPickers::popUpDestListClicked);
    connect(m_source.bigButton, &QToolButton::clicked, this, &SourceDestPickers::doOpenSource);
    connect(m_dest.bigButton, &QToolButton::clicked, this, &SourceDestPickers::doOpenDest);
}

void SourceDestPickers::repopulateMountedVolumesMenu(bool leaveSelection)
{
    repopulate(true, leaveSelection);
}

void SourceDestPickers::repopulateMountedVolumesMenu_Dest(bool leaveSelection)
{
    repopulate(false, leaveSelection);
}

void SourceDestPickers::repopulate(bool source, bool leaveSelection)
{
    const QList<MountedVolume> volumes = m_volumes.mountedVolumes();
    const QList<VolumeMenuEntry> entries
        = VolumeMenus::menuEntries(source ? VolumeMenus::sourceTitle() : VolumeMenus::destinationTitle(), volumes);
    const QString current = source ? m_controller.backupSources.value(0) : m_controller.backupDest;
    const int position = leaveSelection ? side(source).popUp->currentIndex()
                                        : VolumeMenus::selectedPosition(entries, current, volumes);
    side(source).popUp->setEntries(entries, position);
}

void SourceDestPickers::popUpSourceListClicked(int position)
{
    popUpClicked(true, position);
}

void SourceDestPickers::popUpDestListClicked(int position)
{
    popUpClicked(false, position);
}

void SourceDestPickers::popUpClicked(bool source, int position)
{
    const int tag = side(source).popUp->tagAt(position);
    if (tag == VolumeMenus::otherTag) {
        if (!setBigButtonIcon(source, false))
            repopulate(source, false); // the pop-up shows the unchanged choice again
        return;
    }
    const QList<MountedVolume> volumes = m_volumes.mountedVolumes();
    if (tag < 0 || tag >= volumes.size())
        return; // the volume went away since the menu was built
    const MountedVolume &volume = volumes.at(tag);
    applyChoice(source, volume.rootPath);
    showDisplayName(source, volume.name);
    enableStartIfBothChosen();
    m_controller.displayErrorIfDestinationInsideSource();
    m_controller.handleLinkDest();
}

bool SourceDestPickers::setBigButtonIcon(bool source, bool)
{
    const QString path = chooseFolder(source, QString(), QString());
    if (path.isEmpty())
        return false;
    applyChoice(source, path);
    enableStartIfBothChosen();
    m_controller.displayErrorIfDestinationInsideSource();
    m_controller.handleLinkDest();
    repopulate(source, false);
    return true;
}

QString SourceDestPickers::chooseForRestore(bool source, const QString &prompt, const QString &message)
{
    const QString path = chooseFolder(source, prompt, message);
    if (path.isEmpty())
        return path;
    applyChoice(source, path);
    enableStartIfBothChosen();
    repopulate(source, false);
    // The prompts say the chosen source's files are copied to the chosen
    // destination: a folder's contents ("x/" to rsync), so the folder Data of
    // a snapshot restored onto Data does not land in Data/Data. A file is
    // copied into the destination as itself.
    const bool contents = source && QFileInfo(path).isDir() && !path.endsWith(u'/');
    return contents ? path + u'/' : path;
}

QString SourceDestPickers::chooseFolder(bool source, const QString &prompt, const QString &message)
{
    FolderChooserRequest request;
    request.isSource = source;
    request.prompt = prompt;
    request.message = message;
    request.canCreateFolders = !source;
    request.startFolder = source ? m_controller.backupSources.value(0) : m_controller.backupDest;
    if (request.startFolder.isEmpty())
        request.startFolder = VolumeMenus::defaultChooserFolder(source, m_volumes.mountedVolumes());
    return m_chooser.chooseFolder(side(source).bigButton->window(), request);
}

void SourceDestPickers::applyChoice(bool source, const QString &path)
{
    if (source) {
        m_controller.backupSources = {path};
        m_controller.taskDelegate()->setSourcePath(path);
    } else {
        m_controller.backupDest = path;
    }
    showIcon(source, path);
    showDisplayName(source, displayNameForPath(path));
    m_controller.jobOnScreenChanged();
}

void SourceDestPickers::showIcon(bool source, const QString &path)
{
    static const QFileIconProvider icons;
    QToolButton *button = side(source).bigButton;
    // A destination the first run creates has no icon of its own yet: it
    // shows as the folder it will be.
    const QFileInfo info(path);
    button->setIcon(info.exists() ? icons.icon(info) : icons.icon(QFileIconProvider::Folder));
    button->setIconSize(QSize(bigIconSize, bigIconSize));
    button->setToolTip(path);
}

void SourceDestPickers::showDisplayName(bool source, const QString &name)
{
    QLabel *label = side(source).name;
    // A long name is shortened in its middle to the label's width.
    label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->maximumWidth()));
    label->setAccessibleName(source ? QStringLiteral("Source name") : QStringLiteral("Destination name"));
    label->setAccessibleDescription(name);
}

void SourceDestPickers::enableStartIfBothChosen()
{
    if (!m_controller.backupSources.value(0).isEmpty() && !m_controller.backupDest.isEmpty()) {
        m_startButton->setEnabled(true);
        // During a run the pop-ups stay usable, but scheduling waits for idle.
        if (!m_controller.isRunning())
            m_addToScheduleButton->setEnabled(true);
    }
}
