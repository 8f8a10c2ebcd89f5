#pragma once

// The open panels of the window: the folder chooser of the pickers and the
// restore (one folder or file, packages treated as folders, a prompt and a
// message in restore mode), and the exclusion chooser (several files and
// folders, hidden files shown). Both run modally, as the window's choosers
// do; tests replace them with scripted answers.
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
    virtual QStringList chooseItemsToExclude(QWidget *parent) = 0;
};

// QFileDialog, run modally.
class FileDialogChooser final : public FolderChooser
{
public:
    QString chooseFolder(QWidget *parent, const FolderChooserRequest &request) override;
    QStringList chooseItemsToExclude(QWidget *parent) override;
};
