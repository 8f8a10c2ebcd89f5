#include "FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QListView>
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
    // Files and folders together, several at once: Qt's dialog offers that
    // only in folder mode with its views switched to extended selection and
    // the chosen rows read from the view itself.
    QFileDialog dialog(parent, QStringLiteral("Choose Items to Exclude"), QDir::homePath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    dialog.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Exclude"));
    QTreeView *tree = dialog.findChild<QTreeView *>();
    if (QListView *list = dialog.findChild<QListView *>(QStringLiteral("listView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (tree)
        tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QStringList chosen;
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>()) {
        QObject::disconnect(buttons, &QDialogButtonBox::accepted, &dialog, nullptr);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, &chosen, tree] {
            if (tree) {
                const QModelIndexList rows = tree->selectionModel()->selectedRows();
                for (const QModelIndex &row : rows)
                    chosen.append(QDir::cleanPath(row.data(QFileSystemModel::FilePathRole).toString()));
            }
            if (chosen.isEmpty())
                chosen = dialog.selectedFiles();
            static_cast<QDialog &>(dialog).done(QDialog::Accepted);
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return chosen.isEmpty() ? dialog.selectedFiles() : chosen;
}
