// The real exclusion chooser (Qt's file dialog) picks files and folders
// together, several at once.
#include "WindowFixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace {

// Once the dialog is open and lists `folder`, selects the named entries and
// presses its accept button.
void answerExclusionDialog(const QString &folder, const QStringList &names)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, folder, names] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->setDirectory(folder);
        auto *tree = dialog->findChild<QTreeView *>();
        QAbstractItemModel *model = tree->model();
        const QModelIndex root = tree->rootIndex();
        QModelIndexList found;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (names.contains(index.data().toString()))
                found << index;
        }
        if (found.size() < names.size())
            return; // still listing the folder
        poll->deleteLater();
        tree->selectionModel()->clearSelection();
        for (const QModelIndex &index : found)
            tree->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
    });
    poll->start(5);
}

TEST(FileDialogChooser, ExclusionsMayMixFilesAndFolders)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "notes\n");
    writeFile(dir.filePath(QStringLiteral(".hidden")), "hidden\n");
    QDir().mkpath(dir.filePath(QStringLiteral("Cache")));
    answerExclusionDialog(dir.path(),
                          {QStringLiteral("notes.txt"), QStringLiteral("Cache"), QStringLiteral(".hidden")});
    FileDialogChooser chooser;
    QStringList chosen = chooser.chooseItemsToExclude(nullptr);
    chosen.sort();
    EXPECT_EQ(chosen,
              (QStringList{dir.filePath(QStringLiteral(".hidden")), dir.filePath(QStringLiteral("Cache")),
                           dir.filePath(QStringLiteral("notes.txt"))}));
}

} // namespace
