#include "SchedulingPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPushButton *button(const QString &text, const QString &accessibleName, QWidget *parent)
{
    auto *result = new QPushButton(text, parent);
    result->setAccessibleName(accessibleName);
    return result;
}

} // namespace

SchedulingPanel::SchedulingPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("schedulingView"));
    setAccessibleName(QStringLiteral("Scheduling"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildEntryRow());
    auto *lists = new QSplitter(Qt::Horizontal, this);
    lists->setChildrenCollapsible(false);
    lists->addWidget(buildScheduleList());
    lists->addWidget(buildExclusionList());
    lists->setStretchFactor(0, 3);
    lists->setStretchFactor(1, 2);
    layout->addWidget(lists, 1);
}

QString SchedulingPanel::segmentTitle(int segment)
{
    static const QStringList titles{QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                                    QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"),
                                    QStringLiteral("Sun")};
    return titles.value(segment);
}

QString SchedulingPanel::segmentAccessibleName(int segment)
{
    static const QStringList names{QStringLiteral("Monday"),   QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
                                   QStringLiteral("Thursday"), QStringLiteral("Friday"),  QStringLiteral("Saturday"),
                                   QStringLiteral("Sunday")};
    return names.value(segment);
}

QWidget *SchedulingPanel::buildEntryRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *days = new QWidget(row);
    days->setObjectName(QStringLiteral("daysToRunScheduler"));
    days->setAccessibleName(QStringLiteral("Days to run"));
    auto *daysLayout = new QHBoxLayout(days);
    daysLayout->setContentsMargins(0, 0, 0, 0);
    daysLayout->setSpacing(2);
    // A chosen day stands out in the selection colour, not by a faint bevel.
    days->setStyleSheet(QStringLiteral("QToolButton:checked { background-color: palette(highlight); "
                                       "color: palette(highlighted-text); border: 1px solid palette(shadow); "
                                       "border-radius: 3px; }"));
    for (int segment = 0; segment < 7; ++segment) {
        auto *day = new QToolButton(days);
        day->setText(segmentTitle(segment));
        day->setCheckable(true);
        day->setMinimumWidth(day->fontMetrics().horizontalAdvance(QStringLiteral("Wed")) + 14);
        day->setAccessibleName(segmentAccessibleName(segment));
        daysLayout->addWidget(day);
        m_days[segment] = day;
    }
    layout->addWidget(days);
    layout->addSpacing(8);
    auto *at = new QLabel(QStringLiteral("at"), row);
    m_time = new QTimeEdit(QTime(12, 0), row);
    m_time->setDisplayFormat(QStringLiteral("hh:mm AP"));
    m_time->setObjectName(QStringLiteral("timeToRunScheduler"));
    m_time->setAccessibleName(QStringLiteral("Time to run"));
    at->setBuddy(m_time);
    layout->addWidget(at);
    layout->addWidget(m_time);
    layout->addSpacing(8);
    auto *keep = new QLabel(QStringLiteral("Snapshots to keep"), row);
    m_snapshots = new QLineEdit(QStringLiteral("99"), row);
    m_snapshots->setObjectName(QStringLiteral("snapshotsCopiesBox"));
    m_snapshots->setAccessibleName(QStringLiteral("Snapshots to keep"));
    m_snapshots->setMaximumWidth(m_snapshots->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    keep->setBuddy(m_snapshots);
    layout->addWidget(keep);
    layout->addWidget(m_snapshots);
    m_oldSnapshots = button(QStringLiteral("Old Snapshots\u2026"), QStringLiteral("Rule for old snapshots"), row);
    m_oldSnapshots->setObjectName(QStringLiteral("oldSnapshotsButton"));
    m_oldSnapshots->setToolTip(QStringLiteral("Keep the last snapshots, or thin them out by hour, day, week, month "
                                              "and year, with a preview"));
    layout->addWidget(m_oldSnapshots);
    layout->addStretch(1);
    m_addToSchedule = button(QStringLiteral("Add to Schedule"), QStringLiteral("Add to Schedule"), row);
    m_addToSchedule->setObjectName(QStringLiteral("addToScheduleButton"));
    m_addToSchedule->setEnabled(false);
    layout->addWidget(m_addToSchedule);
    return row;
}

QWidget *SchedulingPanel::buildScheduleList()
{
    auto *box = new QWidget(this);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scheduleTable = new QTableView(box);
    m_scheduleTable->setObjectName(QStringLiteral("backupsSchedulerTableView"));
    m_scheduleTable->setAccessibleName(QStringLiteral("Scheduled backups"));
    layout->addWidget(m_scheduleTable, 1);
    auto *buttons = new QHBoxLayout;
    m_removeFromSchedule = button(QStringLiteral("Remove from Schedule"), QStringLiteral("Remove from Schedule"), box);
    buttons->addWidget(m_removeFromSchedule);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return box;
}

QWidget *SchedulingPanel::buildExclusionList()
{
    auto *box = new QWidget(this);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    m_excludeTable = new QTableView(box);
    m_excludeTable->setObjectName(QStringLiteral("excludeFilesTable"));
    m_excludeTable->setAccessibleName(QStringLiteral("Excluded items"));
    layout->addWidget(m_excludeTable, 1);
    auto *buttons = new QHBoxLayout;
    m_addExclusion = button(QStringLiteral("+"), QStringLiteral("Add excluded items"), box);
    m_removeExclusion = button(QStringLiteral("\u2212"), QStringLiteral("Remove excluded items"), box);
    for (QPushButton *small : {m_addExclusion, m_removeExclusion})
        small->setFixedWidth(small->sizeHint().height() + 8);
    buttons->addWidget(m_addExclusion);
    buttons->addWidget(m_removeExclusion);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return box;
}
