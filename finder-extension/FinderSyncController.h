#pragma once

// What FinderSync asks of the file manager it serves. A file manager that
// starts a process per action answers from that action's arguments; tests
// answer with a fake.
//
// What implementations must give: selectedItemURLs() in the file manager's
// selection order (empty when nothing is selected); targetedURL() the folder
// the menu was used in; setDirectoryURLs() is told the folders (volume roots)
// in which the menu is offered.

#include <QList>
#include <QSet>
#include <QUrl>

class FinderSyncController
{
public:
    virtual ~FinderSyncController() = default;
    virtual QList<QUrl> selectedItemURLs() const = 0;
    virtual QUrl targetedURL() const = 0;
    virtual void setDirectoryURLs(const QSet<QUrl> &urls) = 0;
};

// Starts a new instance of the main application, even when one is running.
class ApplicationLauncher
{
public:
    virtual ~ApplicationLauncher() = default;
    // Whether the start succeeded; FinderSync itself does not look at it.
    virtual bool launchNewInstance() = 0;
};

// Starts the bundle's PREFIX/bin/vellumor as a detached process with no
// arguments; the bundle prefix is the one vellumorPrefix() finds.
class BundleApplicationLauncher final : public ApplicationLauncher
{
public:
    bool launchNewInstance() override;
    static QString mainApplicationPath();
};
