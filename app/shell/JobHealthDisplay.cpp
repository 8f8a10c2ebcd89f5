#include "JobHealthDisplay.h"

#include "Clock.h"
#include "JobStatusTexts.h"
#include "MFTaskAppDelegate.h"
#include "RunHistory.h"
#include "ScheduleListModel.h"
#include "SharedSchedule.h"

#include <QLabel>

using namespace std::chrono_literals;

JobHealthDisplay::JobHealthDisplay(QLabel &label, MFTaskAppDelegate &controller, SharedSchedule &schedule,
                                   const RunHistory &history, const Clock &clock, ScheduleListModel *list,
                                   QObject *parent)
    : QObject(parent)
    , m_label(label)
    , m_controller(controller)
    , m_schedule(schedule)
    , m_history(history)
    , m_clock(clock)
    , m_list(list)
{
    connect(&controller, &MFTaskAppDelegate::jobChanged, this, &JobHealthDisplay::refresh);
    connect(&controller, &MFTaskAppDelegate::runFinished, this, &JobHealthDisplay::refresh);
    // A monotonic timer, but each refresh reads the wall clock: after a
    // suspend the next tick shows the time asleep too.
    m_minute.setInterval(1min);
    connect(&m_minute, &QTimer::timeout, this, &JobHealthDisplay::refresh);
    m_minute.start();
    refresh();
    if (m_list) {
        m_list->setStatusTexts([this](const JobRecord &record) {
            const QDateTime now = m_clock.now();
            const JobHealth health = JobHealths::healthOf(m_records, JobRecords::sourcePath(record),
                                                          JobRecords::destPath(record), &record, now);
            const auto [text, toolTip] = textsFor(health, now);
            QStringList row{JobStatusTexts::lastBackup(health, now), JobStatusTexts::lastAttempt(health, now)};
            row.removeAll(QString());
            return ScheduleListModel::StatusTexts{row.join(QStringLiteral("; ")), toolTip};
        });
    }
}

std::pair<QString, QString> JobHealthDisplay::textsFor(const JobHealth &health, const QDateTime &now) const
{
    QStringList line{JobStatusTexts::lastBackup(health, now), JobStatusTexts::lastAttempt(health, now),
                     JobStatusTexts::next(health.nextRun, now)};
    line.removeAll(QString());
    QStringList tips;
    if (health.lastGood)
        tips << QStringLiteral("Last backup: ") + JobStatusTexts::absolute(health.lastGood->ended, now);
    if (health.lastAttempt && !health.lastAttempt->succeeded())
        tips << QStringLiteral("Last attempt: ") + JobStatusTexts::absolute(health.lastAttempt->ended, now);
    if (health.nextRun.isValid())
        tips << QStringLiteral("Next: ") + JobStatusTexts::absolute(health.nextRun, now);
    if (health.overdue)
        tips << QStringLiteral("Overdue: no complete backup since ")
                + JobStatusTexts::absolute(health.overdueSince, now);
    return {line.join(QStringLiteral("  ·  ")), tips.join(u'\n')};
}

void JobHealthDisplay::refresh()
{
    m_records = m_history.read();
    if (m_list)
        m_list->refreshStatus();
    const QString source = m_controller.backupSources.value(0);
    const QString dest = m_controller.backupDest;
    const JobRecord *record = source.isEmpty() || dest.isEmpty()
        ? nullptr
        : m_schedule.matchingDictionaryForSourceAndDestExists(source, dest);
    const QDateTime now = m_clock.now();
    const JobHealth health = JobHealths::healthOf(m_records, source, dest, record, now);
    if (source.isEmpty() || dest.isEmpty() || (!record && !health.lastAttempt)) {
        m_label.hide();
        return;
    }
    const auto [text, toolTip] = textsFor(health, now);
    m_label.setText(text);
    m_label.setToolTip(toolTip);
    m_label.setAccessibleDescription(text);
    m_label.show();
}
