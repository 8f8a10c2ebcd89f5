#include "HumanReadableFormatters.h"

#include <array>
#include <charconv>
#include <cmath>

namespace {

// Fixed-point text of value with the given decimals, padded on the left with
// spaces to minimumWidth. std::to_chars is locale-independent and rounds an
// exact half to even, as printf does in the C locale; QCoreApplication sets
// the process locale from the environment, so snprintf would print "1,50"
// under de_DE.
QString fixedPoint(double value, int decimals, int minimumWidth = 0)
{
    std::array<char, 512> buffer{};
    const auto result
        = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return QString();
    QString text = QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
    if (text.size() < minimumWidth)
        text.prepend(QString(minimumWidth - text.size(), QLatin1Char(' ')));
    return text;
}

struct ScaleRow
{
    int decimals;
    const char *word;
};

// Decimals rise irregularly with the scale; the texts the window shows are
// fixed by this table.
constexpr std::array<ScaleRow, 9> bigNumberRows{{
    {0, ""},
    {0, "thousand"},
    {2, "million"},
    {6, "billion"},
    {9, "trillion"},
    {11, "quadrillion"},
    {13, "quintillion"},
    {10, "sextillion"},
    {10, "septillion"},
}};

constexpr std::array<const char *, 9> sizeUnits{{"B", "KB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"}};

} // namespace

std::optional<double> humanReadableNumberFromVariant(const QVariant &value)
{
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        number = double(value.toLongLong());
        break;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        number = double(value.toULongLong());
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        number = value.toDouble();
        break;
    default:
        return std::nullopt;
    }
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

QString HumanReadableBigNumbers::textForNumber(double value)
{
    // 1000 itself stays "1000": only a value strictly above 1000 is scaled.
    std::size_t n = 0;
    if (value > 1000.0) {
        do {
            value /= 1000.0;
            ++n;
        } while (value > 1000.0 && n + 1 < bigNumberRows.size());
    }
    const ScaleRow &row = bigNumberRows[n];
    QString text = fixedPoint(value, row.decimals);
    if (n > 0)
        text += QLatin1Char(' ') + QLatin1String(row.word);
    return text;
}

std::optional<QString> HumanReadableBigNumbers::transformedValue(const QVariant &value) const
{
    const std::optional<double> number = humanReadableNumberFromVariant(value);
    if (!number)
        return std::nullopt;
    return textForNumber(*number);
}

QString HumanReadableFileSize::textForNumber(double value)
{
    std::size_t n = 0;
    while (value > 1024.0 && n + 1 < sizeUnits.size()) {
        value *= 0.0009765625; // one 1024th, exact in binary
        ++n;
    }
    return fixedPoint(value, 2, 4) + QLatin1Char(' ') + QLatin1String(sizeUnits[n]);
}

std::optional<QString> HumanReadableFileSize::transformedValue(const QVariant &value) const
{
    const std::optional<double> number = humanReadableNumberFromVariant(value);
    if (!number)
        return std::nullopt;
    return textForNumber(*number);
}
