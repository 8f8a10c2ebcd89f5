#pragma once

// Run dates of scheduled jobs: the text stored in "scheduledDates"
// ("EEE-dd-MM-yyyy HH:mm", e.g. "Mon-07-12-2026 14:30", written and read in
// the given locale), and the rule that picks a job's next run.
//
// What callers may rely on:
//  - a run date is wall-clock time in the time zone of the "now" they pass
//    (the system zone for the system clock); its text keeps the hour and
//    minute the user chose, also on a night when that time does not exist
//    because clocks go forward (the run then happens when the clock has
//    jumped past it, e.g. 03:30 for 02:30);
//  - nextRunDate() is the first moment on the weekday at that time that is
//    not earlier than now;
//  - text that does not match the pattern (including a weekday name that
//    does not fit the date) parses to nothing.
//
// Weekdays: calendar weekdays are 1 Sunday, 2 Monday ... 7 Saturday; control
// segments are 0 Monday ... 6 Sunday.

#include "JobRecord.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <array>
#include <optional>

// Segment 0..6 gives calendar weekday 2..7, 1; any other segment gives 2.
int calendarWeekDayForControlWeekDay(int segment);
// Calendar weekday 1 gives segment 6, every other weekday w gives w - 2.
int controlWeekDayForCalendarWeekDay(int calendarWeekday);

// A stored run date: the wall-clock date and time of day (second 0).
struct RunDate
{
    QDate date;
    QTime time;

    friend bool operator==(const RunDate &, const RunDate &) = default;
};

QString runDateText(const RunDate &runDate, const QLocale &locale = QLocale());
std::optional<RunDate> parseRunDate(const QString &text, const QLocale &locale = QLocale());

// The moment the run date names in the zone. A time skipped by a clock change
// is moved forward by the length of the skip.
QDateTime runDateMoment(const RunDate &runDate, const QTimeZone &zone);

// The next run on the calendar weekday at hour:minute, from now.
RunDate nextRunDate(const QDateTime &now, int calendarWeekday, int hour, int minute);

// The last day on which a run date computed now can fall: a week after
// today. A stored date beyond it was written while the clock was ahead (it
// jumped weeks forward and came back) and would hold the job back until the
// clock caught up; it counts as a missed run, due now.
QDate latestRegularRunDay(const QDateTime &now);

// Whether a run date is owed a run now: its moment has passed, or it lies
// beyond latestRegularRunDay().
bool runDateIsDue(const RunDate &runDate, const QDateTime &now);

// One run-date text per selected segment, Monday first.
QStringList scheduledDatesForSegments(const std::array<bool, 7> &selectedSegments, int hour, int minute,
                                      const QDateTime &now, const QLocale &locale = QLocale());

// Replaces, in place, every entry of the record's "scheduledDates" that is
// due (runDateIsDue: past, or beyond one week from today) with the next
// occurrence of its weekday and time from now. Entries within the coming week
// and entries that do not parse stay as they are, in their positions.
void setJobsToFutureDates(JobRecord &record, const QDateTime &now, const QLocale &locale = QLocale());
