#include "ExcludeFilesTableView.h"

#include "FolderChooser.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>

void ExcludedFilesModel::setList(const QStringList *list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

void ExcludedFilesModel::reload()
{
    beginResetModel();
    endResetModel();
}

int ExcludedFilesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_list ? 0 : int(m_list->size());
}

int ExcludedFilesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant ExcludedFilesModel::data(const QModelIndex &index, int role) const
{
    if (!m_list || index.row() < 0 || index.row() >= m_list->size())
        return {};
    const QString &path = m_list->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return path;
    case Qt::DecorationRole: {
        // A path that no longer exists still shows, with the generic icon.
        static const QFileIconProvider icons;
        return QFileInfo::exists(path) ? icons.icon(QFileInfo(path)) : icons.icon(QFileIconProvider::File);
    }
    default:
        return {};
    }
}

QVariant ExcludedFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Excluded Items");
    return {};
}

ExcludeFilesTableView::ExcludeFilesTableView(FolderChooser &chooser, QObject *parent)
    : QObject(parent)
    , m_chooser(chooser)
{}

void ExcludeFilesTableView::setDelegateExcludedFiles(QStringList *list)
{
    m_list = list;
    m_model.setList(list);
}

void ExcludeFilesTableView::setTableView(QTableView *tableView)
{
    m_tableView = tableView;
    m_tableView->setModel(&m_model);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableView->horizontalHeader()->setStretchLastSection(true);
    m_tableView->verticalHeader()->hide();
    m_tableView->setTextElideMode(Qt::ElideMiddle);
}

void ExcludeFilesTableView::addToExcludedFilesClicked()
{
    if (!m_list)
        return;
    const QStringList chosen = m_chooser.chooseItemsToExclude(m_tableView ? m_tableView->window() : nullptr,
                                                              m_startFolder ? m_startFolder() : QString());
    if (chosen.isEmpty())
        return;
    *m_list = withAdded(*m_list, chosen);
    m_model.reload();
}

void ExcludeFilesTableView::deleteSelectedRow()
{
    if (!m_list || !m_tableView)
        return;
    QList<int> rows;
    const QModelIndexList selected = m_tableView->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    if (rows.isEmpty())
        return;
    *m_list = withoutRows(*m_list, rows);
    m_model.reload();
}

QStringList ExcludeFilesTableView::withAdded(QStringList list, const QStringList &chosen)
{
    for (const QString &path : chosen) {
        if (!path.isEmpty() && !list.contains(path))
            list.append(path);
    }
    return list;
}

QStringList ExcludeFilesTableView::withoutRows(QStringList list, QList<int> rows)
{
    // From the last row down, so the rows still to remove keep their index.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : std::as_const(rows)) {
        if (row >= 0 && row < list.size())
            list.removeAt(row);
    }
    return list;
}
