#include "FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>
#include <QTreeView>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace {

// Shows the restore message above the panel's own controls.
void addMessage(QFileDialog &dialog, const QString &message)
{
    auto *grid = qobject_cast<QGridLayout *>(dialog.layout());
    if (!grid || message.isEmpty())
        return;
    auto *label = new QLabel(message, &dialog);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(message);
    grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

QString FileDialogChooser::chooseFolder(QWidget *parent, const FolderChooserRequest &request)
{
    // Qt's own dialog: the desktop's dialog cannot show the restore message.
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(request.isSource ? QStringLiteral("Choose the Source")
                                           : QStringLiteral("Choose the Destination"));
    if (!request.prompt.isEmpty()) {
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
        dialog.setWindowTitle(request.prompt);
    }
    addMessage(dialog, request.message);
    if (!request.startFolder.isEmpty())
        dialog.setDirectory(request.startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::cleanPath(dialog.selectedFiles().constFirst());
}

QStringList FileDialogChooser::chooseItemsToExclude(QWidget *parent)
{
    // Files and folders together, several at once: Qt's dialog lists both in
    // folder mode with its views switched to extended selection. Its own
    // accept button only takes folders there, so an "Exclude" button of ours
    // takes the rows selected in the view.
    QFileDialog dialog(parent, QStringLiteral("Choose Items to Exclude"), QDir::homePath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    dialog.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    auto *tree = dialog.findChild<QTreeView *>();
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    if (!tree || !buttons)
        return {};
    if (auto *list = dialog.findChild<QListView *>(QStringLiteral("listView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (QPushButton *open = buttons->button(QDialogButtonBox::Open))
        open->hide();
    QPushButton *exclude = buttons->addButton(QStringLiteral("Exclude"), QDialogButtonBox::ActionRole);
    exclude->setAccessibleName(QStringLiteral("Exclude"));
    exclude->setDefault(true);
    exclude->setEnabled(false);
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, exclude,
                     [tree, exclude] { exclude->setEnabled(tree->selectionModel()->hasSelection()); });
    QStringList chosen;
    QObject::connect(exclude, &QPushButton::clicked, &dialog, [&dialog, &chosen, tree] {
        const QModelIndexList rows = tree->selectionModel()->selectedRows();
        for (const QModelIndex &row : rows)
            chosen.append(QDir::cleanPath(row.data(QFileSystemModel::FilePathRole).toString()));
        static_cast<QDialog &>(dialog).done(QDialog::Accepted);
    });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return chosen;
}
