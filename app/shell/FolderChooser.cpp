#include "FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTreeView>

namespace {

// Qt's own file dialog listing files and folders, whose accept button takes
// either: in its folder mode Qt's button refuses a selected file, so the
// dialog's button is replaced by one of ours, and accept() (Enter, a double
// click on a file, our button) takes the selected rows, else the typed path.
class ItemChooserDialog final : public QFileDialog
{
public:
    // `acceptText` names the accept button; with `severalItems` several rows
    // may be chosen, and nothing chosen is no answer (otherwise the folder
    // shown is the answer).
    ItemChooserDialog(QWidget *parent, const QString &title, const QString &acceptText, bool severalItems)
        : QFileDialog(parent, title)
        , m_severalItems(severalItems)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, false);
        setAcceptMode(QFileDialog::AcceptOpen);
        setLabelText(QFileDialog::Accept, acceptText);
        m_tree = findChild<QTreeView *>();
        m_typed = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = findChild<QDialogButtonBox *>();
        if (!m_tree || !buttons)
            return;
        const auto selection = severalItems ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        if (auto *list = findChild<QListView *>(QStringLiteral("listView")))
            list->setSelectionMode(selection);
        m_tree->setSelectionMode(selection);
        m_accept = buttons->addButton(acceptText, QDialogButtonBox::ActionRole);
        // Hidden after the addition: laying the box out again shows it.
        if (QPushButton *open = buttons->button(QDialogButtonBox::Open))
            open->hide();
        m_accept->setAccessibleName(acceptText);
        m_accept->setDefault(true);
        connect(m_accept, &QPushButton::clicked, this, &ItemChooserDialog::accept);
        const auto update = [this] { m_accept->setEnabled(!m_severalItems || !chosenPaths().isEmpty()); };
        connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, m_accept, update);
        if (m_typed) {
            connect(m_typed, &QLineEdit::textChanged, m_accept, update);
            // The dialog's name field keeps Enter to itself: it accepts here.
            connect(m_typed, &QLineEdit::returnPressed, this, &ItemChooserDialog::accept);
        }
        update();
    }

    QStringList chosen() const { return m_chosen; }

    void accept() override
    {
        QStringList paths = chosenPaths();
        if (paths.isEmpty() && !m_severalItems)
            paths << directory().absolutePath();
        if (paths.isEmpty())
            return;
        m_chosen = paths;
        QDialog::accept();
    }

private:
    // The selected rows, else the typed path when it names something.
    QStringList chosenPaths() const
    {
        QStringList paths;
        if (m_tree) {
            const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
            for (const QModelIndex &row : rows)
                paths << QDir::cleanPath(row.data(QFileSystemModel::FilePathRole).toString());
        }
        const QString typed = m_typed ? m_typed->text().trimmed() : QString();
        if (paths.isEmpty() && !typed.isEmpty()) {
            const QString path
                = QDir::cleanPath(QDir::isAbsolutePath(typed) ? typed : directory().absoluteFilePath(typed));
            if (QFileInfo::exists(path))
                paths << path;
        }
        return paths;
    }

    bool m_severalItems;
    QTreeView *m_tree = nullptr;
    QLineEdit *m_typed = nullptr;
    QPushButton *m_accept = nullptr;
    QStringList m_chosen;
};

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

// The folder itself, a file's folder, or home when the path names nothing.
QString existingFolderOrHome(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return QDir::homePath();
    return info.isDir() ? path : info.absolutePath();
}

} // namespace

QString FileDialogChooser::chooseFolder(QWidget *parent, const FolderChooserRequest &request)
{
    // Qt's own dialog: the desktop's dialog cannot show the restore message.
    const QString title = !request.prompt.isEmpty() ? request.prompt
        : request.isSource                          ? QStringLiteral("Choose the Source")
                                                    : QStringLiteral("Choose the Destination");
    const QString acceptText = request.prompt.isEmpty() ? QStringLiteral("Choose") : request.prompt;
    ItemChooserDialog dialog(parent, title, acceptText, false);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    addMessage(dialog, request.message);
    // A chosen file opens the chooser in its folder, with the file selected.
    const QFileInfo start(request.startFolder);
    if (!request.startFolder.isEmpty() && start.isFile()) {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    } else if (!request.startFolder.isEmpty()) {
        dialog.setDirectory(request.startFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty())
        return QString();
    return dialog.chosen().constFirst();
}

QStringList FileDialogChooser::chooseItemsToExclude(QWidget *parent, const QString &startFolder)
{
    ItemChooserDialog dialog(parent, QStringLiteral("Choose Items to Exclude"), QStringLiteral("Exclude"), true);
    dialog.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    dialog.setDirectory(existingFolderOrHome(startFolder));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosen();
}
