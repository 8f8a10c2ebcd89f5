#pragma once

// The texts of the schedule list's columns for one job record, shared by the
// window's table and `vellumor-cli list`.
//
// What callers may rely on:
//  - Days: the first three characters of every "scheduledDates" entry, each
//    followed by one blank, in list order; "Every Day" for exactly seven
//    entries; empty for none;
//  - Type: "Snapshot" when "hardlinks" is true, "Sync" otherwise;
//  - Time: the first entry's time of day as "hh:mm AM" in the locale;
//    nothing when there is no entry or it does not parse;
//  - Source and Destination: the display names of the record's paths.

#include "JobRecord.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace ScheduleListColumns {

QString sourceText(const JobRecord &record);
QString destinationText(const JobRecord &record);
QString daysText(const JobRecord &record);
QString typeText(const JobRecord &record);
std::optional<QString> timeText(const JobRecord &record, const QLocale &locale = QLocale());

} // namespace ScheduleListColumns
