#pragma once

// The schedule table's model: one row per job record of the in-memory
// schedule, in its order, with the columns "Source", "Destination", "Days",
// "Type" and "Time". Source and Destination show the path's icon and display
// name; a record without run dates has no Time cell.
// Main thread only; reload() after the schedule changed.

#include <QAbstractTableModel>

class SharedSchedule;

class ScheduleListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Source, Destination, Days, Type, Time, ColumnCount };

    explicit ScheduleListModel(const SharedSchedule &schedule, QObject *parent = nullptr);

    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column identifiers, which are also the header texts.
    static QString columnIdentifier(int column);

private:
    QVariant text(int row, int column) const;

    const SharedSchedule &m_schedule;
};
