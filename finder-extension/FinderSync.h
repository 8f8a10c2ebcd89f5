#pragma once

// The file-manager "Copy" and "Paste" logic, free of any GUI: "Copy" keeps
// the selected items in copiedArray; "Paste" picks the target folder (a
// selected folder, else the folder shown), hands both to a new application
// process through the shared defaults suite, and starts that process.
//
// What callers may rely on:
//  - copiedArray() is absent until the first copySelected(), survives any
//    number of pasteSelected() and is replaced by the next copySelected();
//    it may be read and written from any thread;
//  - pasteSelected() has saved both keys before the application is started;
//  - menuForMenuKind() gives "Copy" then "Paste" for every kind;
//  - after construction, and whenever "VolumesChanged" with the object
//    "beepbeep" arrives, the controller is told the mounted volumes; an empty
//    volume list leaves the previous set in place.

#include "FinderSyncController.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class DistributedNotificationCenter;

class FinderSync : public QObject
{
    Q_OBJECT
public:
    enum class MenuKind {
        ContextualMenuForItems,
        ContextualMenuForContainer,
        ContextualMenuForSidebar,
        ToolbarItemMenu
    };
    enum class MenuAction { CopySelected, PasteSelected };
    struct MenuItem
    {
        QString title;
        MenuAction action;
        QString keyEquivalent;
        QString iconName;
    };
    using VolumeLister = std::function<QList<QUrl>()>;

    // center may be null: then "VolumesChanged" is not observed.
    FinderSync(FinderSyncController &controller, ApplicationLauncher &launcher,
               DistributedNotificationCenter *center = nullptr, VolumeLister mountedVolumeURLs = systemVolumeURLs,
               QObject *parent = nullptr);

    std::optional<QList<QUrl>> copiedArray() const;
    void setCopiedArray(const std::optional<QList<QUrl>> &items);

    static QString toolbarItemName();
    static QString toolbarItemToolTip();
    static QString getMainAppIconImage();
    QList<MenuItem> menuForMenuKind(MenuKind kind) const;

    void copySelected();
    void pasteSelected();
    // The folder a paste goes to: the first selected item when it is a
    // folder, otherwise the folder shown.
    QUrl pasteTarget() const;

    void _didMountVolume();
    void volumesChanged();
    void setDirectoryURLS();

    // Every mounted real file system's root, as file URLs.
    static QList<QUrl> systemVolumeURLs();

private:
    FinderSyncController &m_controller;
    ApplicationLauncher &m_launcher;
    VolumeLister m_mountedVolumeURLs;
    mutable QMutex m_copiedLock;
    std::optional<QList<QUrl>> m_copiedArray;
    QMutex m_volumeLock;
};
