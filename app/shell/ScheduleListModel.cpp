#include "ScheduleListModel.h"

#include "ScheduleListColumns.h"
#include "SharedSchedule.h"

#include <QFileIconProvider>
#include <QFileInfo>

ScheduleListModel::ScheduleListModel(const SharedSchedule &schedule, QObject *parent)
    : QAbstractTableModel(parent)
    , m_schedule(schedule)
{}

void ScheduleListModel::reload()
{
    beginResetModel();
    endResetModel();
}

void ScheduleListModel::setStatusTexts(std::function<StatusTexts(const JobRecord &)> statusTexts)
{
    m_statusTexts = std::move(statusTexts);
    refreshStatus();
}

void ScheduleListModel::refreshStatus()
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, Status), index(rowCount() - 1, Status));
}

int ScheduleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_schedule.count());
}

int ScheduleListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ScheduleListModel::columnIdentifier(int column)
{
    static const QStringList identifiers{QStringLiteral("Source"), QStringLiteral("Destination"),
                                         QStringLiteral("Days"),   QStringLiteral("Type"),
                                         QStringLiteral("Time"),   QStringLiteral("Status")};
    return identifiers.value(column);
}

QVariant ScheduleListModel::text(int row, int column) const
{
    const JobRecord &record = m_schedule.sharedParams().at(row);
    switch (column) {
    case Source:
        return ScheduleListColumns::sourceText(record);
    case Destination:
        return ScheduleListColumns::destinationText(record);
    case Days:
        return ScheduleListColumns::daysText(record);
    case Type:
        return ScheduleListColumns::typeText(record);
    case Time:
        if (const std::optional<QString> time = ScheduleListColumns::timeText(record))
            return *time;
        return {};
    case Status:
        return m_statusTexts ? m_statusTexts(record).text : QString();
    default:
        return {};
    }
}

QVariant ScheduleListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_schedule.count())
        return {};
    const JobRecord &record = m_schedule.sharedParams().at(index.row());
    const bool isPath = index.column() == Source || index.column() == Destination;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return text(index.row(), index.column());
    case Qt::ToolTipRole:
        if (isPath)
            return index.column() == Source ? JobRecords::sourcePath(record) : JobRecords::destPath(record);
        if (index.column() == Status && m_statusTexts)
            return m_statusTexts(record).toolTip;
        return {};
    case Qt::DecorationRole: {
        if (!isPath)
            return {};
        static const QFileIconProvider icons;
        const QString path = index.column() == Source ? JobRecords::sourcePath(record) : JobRecords::destPath(record);
        // A path that no longer exists still shows, with a generic icon.
        return QFileInfo::exists(path) ? icons.icon(QFileInfo(path)) : icons.icon(QFileIconProvider::Folder);
    }
    default:
        return {};
    }
}

QVariant ScheduleListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnIdentifier(section);
    return {};
}
