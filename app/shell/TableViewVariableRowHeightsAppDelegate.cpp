#include "TableViewVariableRowHeightsAppDelegate.h"

#include "MFTaskAppDelegate.h"
#include "SharedSchedule.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>

TableViewVariableRowHeightsAppDelegate::TableViewVariableRowHeightsAppDelegate(SharedSchedule &schedule,
                                                                               MFTaskAppDelegate &controller,
                                                                               QObject *parent)
    : QObject(parent)
    , m_schedule(schedule)
    , m_controller(controller)
    , m_model(schedule)
{}

void TableViewVariableRowHeightsAppDelegate::setTableView(QTableView *tableView)
{
    m_tableView = tableView;
    m_tableView->setModel(&m_model);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->verticalHeader()->hide();
    m_tableView->setTextElideMode(Qt::ElideMiddle);
    QHeaderView *header = m_tableView->horizontalHeader();
    header->setSectionResizeMode(ScheduleListModel::Source, QHeaderView::Stretch);
    header->setSectionResizeMode(ScheduleListModel::Destination, QHeaderView::Stretch);
    // The status shares the room with the paths, so neither is cut to a few letters.
    header->setSectionResizeMode(ScheduleListModel::Status, QHeaderView::Stretch);
    for (int column : {int(ScheduleListModel::Days), int(ScheduleListModel::Type), int(ScheduleListModel::Time)})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(m_tableView, &QTableView::doubleClicked, this,
            &TableViewVariableRowHeightsAppDelegate::doubleClickInTableView);
}

QList<int> TableViewVariableRowHeightsAppDelegate::selectedRows() const
{
    QList<int> rows;
    if (!m_tableView)
        return rows;
    const QModelIndexList selected = m_tableView->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TableViewVariableRowHeightsAppDelegate::deleteSelectedRow()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QList<qsizetype> toDelete(rows.cbegin(), rows.cend());
    // Write errors are ignored, as every save of the schedule does.
    m_schedule.deleteRows(toDelete);
    m_model.reload();
}

void TableViewVariableRowHeightsAppDelegate::doubleClickInTableView()
{
    const QList<int> rows = selectedRows();
    for (int row : rows) {
        if (row < m_schedule.count())
            m_controller.loadUIFromDictionary(m_schedule.sharedParams().at(row));
    }
}
