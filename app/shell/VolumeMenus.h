#pragma once

// The two volume menus of the main window: the side's title, one item per
// offered mounted volume, a separator and "Other...". Each volume item's tag
// is the volume's index in the full list of mounted volumes, skipped volumes
// counted, so a choice finds its volume again by index.
//
// What callers may rely on: a volume is offered unless its name is empty,
// "home" or "net", or its path begins with "/private"; the menu is rebuilt
// every time it opens (menuNeedsUpdate), so it shows the disks as they are.

#include <QComboBox>
#include <QList>
#include <QString>

struct MountedVolume
{
    QString rootPath;
    QString name;
};

// The machine's mounted volumes, in the order the mount table lists them.
class VolumeLister
{
public:
    virtual ~VolumeLister() = default;
    virtual QList<MountedVolume> mountedVolumes() const = 0;
    // Real file systems from QStorageInfo, named as the file manager names them.
    static const VolumeLister &system();
};

struct VolumeMenuEntry
{
    enum class Kind { Title, Volume, Separator, Other };
    Kind kind = Kind::Volume;
    QString title;
    QString path; // the volume's root, for Volume entries
    int tag = 0;
};

namespace VolumeMenus {

inline constexpr int otherTag = 666;

QString sourceTitle();
QString destinationTitle();
QString otherTitle();

bool isOffered(const MountedVolume &volume);
QList<VolumeMenuEntry> menuEntries(const QString &sideTitle, const QList<MountedVolume> &volumes);
// The mounted volume holding the path (the longest root that contains it);
// empty when none does.
QString volumeRootOf(const QString &path, const QList<MountedVolume> &volumes);
// The position to select for the current choice: its volume's entry, or 0
// (the title) when the choice is empty or on no listed volume.
int selectedPosition(const QList<VolumeMenuEntry> &entries, const QString &currentChoice,
                     const QList<MountedVolume> &volumes);
// The folder a chooser opens at with nothing chosen: the first offered
// volume for the source, the last for the destination, where the home
// folder stands for the volume mounted at "/" (and for no volume).
QString defaultChooserFolder(bool isSource, const QList<MountedVolume> &volumes);

} // namespace VolumeMenus

// A pop-up button whose menu is rebuilt just before it opens.
class VolumePopUpButton : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    // Replaces the items; the title entry cannot be chosen.
    void setEntries(const QList<VolumeMenuEntry> &entries, int selectPosition);
    int tagAt(int position) const;

Q_SIGNALS:
    void menuNeedsUpdate();

protected:
    void showPopup() override;
};
