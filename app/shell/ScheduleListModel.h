#pragma once

// The schedule table's model: one row per job record of the in-memory
// schedule, in its order, with the columns "Source", "Destination", "Days",
// "Type", "Time" and "Status" (how the job stands: "Last backup: 2 hours
// ago", the last attempt when it went otherwise; its tooltip adds the next
// run). Source and Destination show the path's icon and display name; a
// record without run dates has no Time cell.
// Main thread only; reload() after the schedule changed.

#include "JobRecord.h"

#include <QAbstractTableModel>

#include <functional>

class SharedSchedule;

class ScheduleListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Source, Destination, Days, Type, Time, Status, ColumnCount };

    explicit ScheduleListModel(const SharedSchedule &schedule, QObject *parent = nullptr);

    void reload();
    // The Status column's text and tooltip for a record; none: empty.
    struct StatusTexts
    {
        QString text;
        QString toolTip;
    };
    void setStatusTexts(std::function<StatusTexts(const JobRecord &)> statusTexts);
    // Asks the view to draw the Status column again (the clock moved on).
    void refreshStatus();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column identifiers, which are also the header texts.
    static QString columnIdentifier(int column);

private:
    QVariant text(int row, int column) const;

    const SharedSchedule &m_schedule;
    std::function<StatusTexts(const JobRecord &)> m_statusTexts;
};
