#pragma once

// Fast reading of the run dates a check looks at. A check reads every entry
// of the schedule, and the general parser and time-zone conversion cost tens
// of microseconds per entry; these give the same answers as parseRunDate()
// and runDateMoment(), which stay the rule, in a fraction of the time.

#include "RunDates.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <array>
#include <optional>

// Reads the plain form the application writes ("Mon-07-12-2026 14:30": the
// locale's short weekday name, then ASCII digits in fixed places) directly,
// and hands anything else to parseRunDate(). It never accepts text that
// parseRunDate() would read otherwise or refuse.
class RunDateReader
{
public:
    explicit RunDateReader(const QLocale &locale);
    std::optional<RunDate> read(const QString &text) const;

private:
    std::optional<RunDate> readPlain(QStringView text) const;

    QLocale m_locale;
    std::array<QString, 7> m_dayNames; // Monday first, as QDate::dayOfWeek()
};

// runDateMoment() for one zone, as a UTC date-time (cheap to compare). On a date whose surroundings hold no change
// of the zone's offset, the moment is the wall-clock time less that offset;
// the offset is looked up once per date. Dates near a transition take the
// general path.
class RunDateMoments
{
public:
    explicit RunDateMoments(QTimeZone zone) : m_zone(std::move(zone)) {}
    QDateTime moment(const RunDate &runDate);

private:
    std::optional<int> steadyOffset(const QDate &date);

    QTimeZone m_zone;
    QHash<QDate, std::optional<int>> m_offsets;
};
