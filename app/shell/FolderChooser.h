#pragma once

// The open panels of the window: the chooser of the pickers and the restore
// (one folder or file, a prompt and a message in restore mode), and the
// exclusion chooser (several files and folders, hidden files shown, opened
// in `startFolder`, the home folder when that is no folder). Both run
// modally, as the window's choosers do; tests replace them with scripted
// answers. Each takes what is selected in its list, or a typed path, from
// its accept button, Enter or a double click on a file.
// What callers may rely on: an empty answer means the user cancelled.

#include <QString>
#include <QStringList>

class QWidget;

struct FolderChooserRequest
{
    bool isSource = true;
    QString startFolder; // where the panel opens
    QString prompt;      // the accept button's text; the default when empty
    QString message;     // shown above the file list; none when empty
    bool canCreateFolders = false;
};

class FolderChooser
{
public:
    virtual ~FolderChooser() = default;
    virtual QString chooseFolder(QWidget *parent, const FolderChooserRequest &request) = 0;
    virtual QStringList chooseItemsToExclude(QWidget *parent, const QString &startFolder) = 0;
};

// QFileDialog, run modally.
class FileDialogChooser final : public FolderChooser
{
public:
    QString chooseFolder(QWidget *parent, const FolderChooserRequest &request) override;
    QStringList chooseItemsToExclude(QWidget *parent, const QString &startFolder) override;
};
