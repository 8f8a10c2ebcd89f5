#pragma once

// The schedule list's controller: the table, its model over the in-memory
// schedule (sharedParams), the delete action and the double click.
//
// What callers may rely on: deleting removes exactly the selected rows, then
// writes the schedule file once and posts "SCHEDULECHANGED" once; a double
// click loads every selected row in turn, top to bottom, so the last one
// stays in the window, and changes nothing while a run is in progress (the
// controller refuses).

#include "ScheduleListModel.h"

#include <QObject>

class MFTaskAppDelegate;
class QTableView;
class SharedSchedule;

class TableViewVariableRowHeightsAppDelegate final : public QObject
{
    Q_OBJECT
public:
    TableViewVariableRowHeightsAppDelegate(SharedSchedule &schedule, MFTaskAppDelegate &controller,
                                           QObject *parent = nullptr);

    void setTableView(QTableView *tableView);
    QTableView *tableView() const { return m_tableView; }
    ScheduleListModel *model() { return &m_model; }

    void reloadData() { m_model.reload(); }
    void deleteSelectedRow();
    void doubleClickInTableView();

private:
    QList<int> selectedRows() const;

    SharedSchedule &m_schedule;
    MFTaskAppDelegate &m_controller;
    ScheduleListModel m_model;
    QTableView *m_tableView = nullptr;
};
