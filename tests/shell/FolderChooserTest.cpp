// The real exclusion chooser (Qt's file dialog) picks files and folders
// together, several at once.
#include "WindowFixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
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
        QStringList chosen = FileDialogChooser().chooseItemsToExclude(nullptr, dir.path());
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

// Once a file dialog is open, runs `act` on it at each tick until it says done.
void answerDialog(std::function<bool(QFileDialog *)> act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog && act(dialog))
            poll->deleteLater();
    });
    poll->start(5);
}

// Selects the entry `name` of the folder the dialog lists; false while it is
// still being listed.
bool selectEntry(QFileDialog *dialog, const QString &name)
{
    auto *tree = dialog->findChild<QTreeView *>();
    const QModelIndex root = tree->rootIndex();
    for (int row = 0; row < tree->model()->rowCount(root); ++row) {
        const QModelIndex index = tree->model()->index(row, 0, root);
        if (index.data().toString() == name) {
            tree->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return true;
        }
    }
    return false;
}

QPushButton *buttonTitled(QFileDialog *dialog, const QString &title)
{
    for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
        if (button->text() == title && button->isVisible())
            return qobject_cast<QPushButton *>(button);
    return nullptr;
}

TEST(FileDialogChooser, EveryWayOfAcceptingTakesFilesAndFoldersFromWhereTheChooserOpened)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Data/notes.txt")), "notes\n");
    QDir().mkpath(dir.filePath(QStringLiteral("Data/Cache")));
    const QString data = dir.filePath(QStringLiteral("Data"));
    const auto typeAndPressEnter = [](QFileDialog *dialog, const QString &text) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        edit->setText(text);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
        return true;
    };
    const struct
    {
        const char *name;
        bool exclusion;
        std::function<bool(QFileDialog *)> act;
        QStringList expected;
    } cases[] = {
        {"an exclusion typed and confirmed with Enter",
         true,
         [&](QFileDialog *d) { return typeAndPressEnter(d, QStringLiteral("notes.txt")); },
         {dir.filePath(QStringLiteral("Data/notes.txt"))}},
        {"an exclusion typed as a whole path",
         true,
         [&](QFileDialog *d) { return typeAndPressEnter(d, dir.filePath(QStringLiteral("Data/Cache"))); },
         {dir.filePath(QStringLiteral("Data/Cache"))}},
        {"a file chosen as the source with the accept button",
         false,
         [](QFileDialog *d) {
             QPushButton *choose = buttonTitled(d, QStringLiteral("Choose"));
             if (!selectEntry(d, QStringLiteral("notes.txt")) || !choose || !choose->isEnabled())
                 return false;
             choose->click();
             return true;
         },
         {dir.filePath(QStringLiteral("Data/notes.txt"))}},
        {"nothing selected chooses the folder shown",
         false,
         [](QFileDialog *d) {
             QPushButton *choose = buttonTitled(d, QStringLiteral("Choose"));
             if (!choose)
                 return false;
             choose->click();
             return true;
         },
         {data}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString openedAt;
        answerDialog([&](QFileDialog *dialog) {
            if (openedAt.isEmpty())
                openedAt = dialog->directory().absolutePath();
            return c.act(dialog);
        });
        QStringList chosen;
        if (c.exclusion) {
            chosen = FileDialogChooser().chooseItemsToExclude(nullptr, data);
        } else {
            FolderChooserRequest request;
            request.startFolder = data;
            chosen = QStringList{FileDialogChooser().chooseFolder(nullptr, request)};
        }
        EXPECT_EQ(chosen, c.expected);
        EXPECT_EQ(openedAt, data);
    }
}

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
