// The real exclusion chooser (Qt's file dialog) picks files and folders
// together, several at once.
#include "WindowFixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
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
        if (QDir(dialog->directory()) != QDir(folder)) {
            dialog->setDirectory(folder); // listed in the background
            return;
        }
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
        tree->selectionModel()->clearSelection();
        for (const QModelIndex &index : found)
            tree->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QPushButton *exclude = nullptr;
        for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
            exclude = button->text() == u"Exclude" ? qobject_cast<QPushButton *>(button) : exclude;
        if (!exclude || !exclude->isEnabled())
            return;
        poll->deleteLater();
        exclude->click();
    });
    poll->start(5);
}

TEST(FileDialogChooser, ExclusionsMayMixFilesAndFolders)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "notes\n");
    writeFile(dir.filePath(QStringLiteral(".hidden")), "hidden\n");
    QDir().mkpath(dir.filePath(QStringLiteral("Cache")));
    const QList<QStringList> selections{
        {QStringLiteral("notes.txt"), QStringLiteral("Cache"), QStringLiteral(".hidden")},
        {QStringLiteral("notes.txt")},
        {QStringLiteral("Cache")},
    };
    for (const QStringList &names : selections) {
        SCOPED_TRACE(names.join(u' ').toStdString());
        answerExclusionDialog(dir.path(), names);
        QStringList chosen = FileDialogChooser().chooseItemsToExclude(nullptr);
        QStringList expected;
        for (const QString &name : names)
            expected << dir.filePath(name);
        chosen.sort();
        expected.sort();
        EXPECT_EQ(chosen, expected);
    }
}

} // namespace

namespace {

TEST(FileDialogChooser, TheRestoreChooserShowsItsPromptAndMessage)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("Snapshot")));
    QString acceptText;
    bool messageShown = false;
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        acceptText = dialog->labelText(QFileDialog::Accept);
        for (QLabel *label : dialog->findChildren<QLabel *>())
            messageShown = messageShown || label->text().startsWith(QStringLiteral("Select the folder"));
        dialog->reject();
    });
    poll->start(5);
    FolderChooserRequest request;
    request.startFolder = dir.path();
    request.prompt = QStringLiteral("Select Restore Source");
    request.message = QStringLiteral("Select the folder or volume you want to restore *from*.");
    EXPECT_TRUE(FileDialogChooser().chooseFolder(nullptr, request).isEmpty()); // cancelled
    EXPECT_EQ(acceptText, QStringLiteral("Select Restore Source"));
    EXPECT_TRUE(messageShown);
}

} // namespace
