#include "RunDateReading.h"

namespace {

// The number in count ASCII digits from position from, or -1.
int digits(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

RunDateReader::RunDateReader(const QLocale &locale) : m_locale(locale)
{
    for (int day = 1; day <= 7; ++day)
        m_dayNames[day - 1] = locale.dayName(day, QLocale::ShortFormat);
}

std::optional<RunDate> RunDateReader::read(const QString &text) const
{
    if (const std::optional<RunDate> plain = readPlain(text))
        return plain;
    return parseRunDate(text, m_locale);
}

std::optional<RunDate> RunDateReader::readPlain(QStringView text) const
{
    // "-dd-MM-yyyy HH:mm" after the weekday name: 17 characters.
    const qsizetype nameLength = text.size() - 17;
    if (nameLength < 1)
        return std::nullopt;
    const QStringView tail = text.mid(nameLength);
    if (tail[0] != u'-' || tail[3] != u'-' || tail[6] != u'-' || tail[11] != u' ' || tail[14] != u':')
        return std::nullopt;
    const QDate date(digits(tail, 7, 4), digits(tail, 4, 2), digits(tail, 1, 2));
    const int hour = digits(tail, 12, 2);
    const int minute = digits(tail, 15, 2);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return std::nullopt;
    if (text.left(nameLength) != m_dayNames[date.dayOfWeek() - 1])
        return std::nullopt;
    return RunDate{date, QTime(hour, minute)};
}

QDateTime RunDateMoments::moment(const RunDate &runDate)
{
    if (const std::optional<int> offset = steadyOffset(runDate.date))
        return QDateTime(runDate.date, runDate.time, Qt::UTC).addSecs(-*offset);
    return runDateMoment(runDate, m_zone).toUTC();
}

std::optional<int> RunDateMoments::steadyOffset(const QDate &date)
{
    const auto known = m_offsets.constFind(date);
    if (known != m_offsets.cend())
        return *known;
    // Whatever the offset (at most a day either way), the local day lies
    // within these two UTC instants; no transition between them means one
    // offset for the whole day.
    const QDateTime from(date.addDays(-1), QTime(0, 0), Qt::UTC);
    const QDateTime to(date.addDays(2), QTime(0, 0), Qt::UTC);
    std::optional<int> offset;
    if (m_zone.isValid()) {
        const QTimeZone::OffsetData next = m_zone.nextTransition(from);
        if (!next.atUtc.isValid() || next.atUtc > to)
            offset = m_zone.offsetFromUtc(from);
    }
    m_offsets.insert(date, offset);
    return offset;
}
