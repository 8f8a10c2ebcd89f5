#include "HumanReadableFormatters.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct FormatRow
{
    double value;
    const char *text;
};

TEST(HumanReadableBigNumbers, WritesCountsWithScaleWords)
{
    const FormatRow rows[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1000"}, // not "1 thousand": only values above 1000 are scaled
        {1001, "1 thousand"},
        {1499, "1 thousand"},
        {1500, "2 thousand"}, // 1.5 rounds to even
        {2500, "2 thousand"}, // 2.5 rounds to even
        {999999, "1000 thousand"},
        {1000000, "1000 thousand"},
        {1000001, "1.00 million"},
        {2000000, "2.00 million"},
        {1234567890, "1.234568 billion"},
        {1234567890123, "1.234567890 trillion"},
        {-5, "-5"},
        {0.5, "0"}, // halfway at precision zero goes to the even digit
        {1.5, "2"},
        {2.5, "2"},
        {1e15 * 2, "2.00000000000 quadrillion"},
        {1e18 * 3, "3.0000000000000 quintillion"},
        {1e21 * 4, "4.0000000000 sextillion"},
        {1e24 * 5, "5.0000000000 septillion"},
    };
    for (const FormatRow &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(HumanReadableBigNumbers::textForNumber(row.value).toStdString(), row.text);
        const std::optional<QString> viaVariant = HumanReadableBigNumbers().transformedValue(QVariant(row.value));
        ASSERT_TRUE(viaVariant.has_value());
        EXPECT_EQ(viaVariant->toStdString(), row.text);
    }
}

TEST(HumanReadableBigNumbers, KeepsTheLargestWordBeyondTheTable)
{
    EXPECT_TRUE(HumanReadableBigNumbers::textForNumber(1e30).endsWith(u" septillion"));
    EXPECT_TRUE(HumanReadableBigNumbers::textForNumber(std::numeric_limits<double>::max()).endsWith(u" septillion"));
    EXPECT_TRUE(HumanReadableFileSize::textForNumber(std::numeric_limits<double>::max()).endsWith(u" YB"));
}

TEST(HumanReadableFileSize, WritesBytesWithBinaryUnits)
{
    const FormatRow rows[] = {
        {0, "0.00 B"},
        {1023, "1023.00 B"},
        {1024, "1024.00 B"}, // not "1.00 KB"
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {5.0 * 1024 * 1024 * 1024, "5.00 GB"},
        {5, "5.00 B"},     // "%4.2f" is at least four characters wide, already met
        {1.125, "1.12 B"}, // an exact half of the last decimal goes to even
        {1.375, "1.38 B"},
        {1024.0 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 2, "2.00 YB"},
        {1024.0 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 3, "3072.00 YB"},
    };
    for (const FormatRow &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(HumanReadableFileSize::textForNumber(row.value).toStdString(), row.text);
    }
}

TEST(HumanReadableFormatters, TakeIntegersOfAnyWidth)
{
    EXPECT_EQ(HumanReadableBigNumbers().transformedValue(QVariant(qint64(2000000))), u"2.00 million"_qs);
    EXPECT_EQ(HumanReadableBigNumbers().transformedValue(QVariant(quint64(1500))), u"2 thousand"_qs);
    EXPECT_EQ(HumanReadableFileSize().transformedValue(QVariant(int(1536))), u"1.50 KB"_qs);
    EXPECT_EQ(HumanReadableFileSize().transformedValue(QVariant(quint32(1025))), u"1.00 KB"_qs);
    EXPECT_EQ(HumanReadableFileSize().transformedValue(QVariant(float(0))), u"0.00 B"_qs);
}

TEST(HumanReadableFormatters, GiveNoneForAnythingButANumber)
{
    const QVariant notNumbers[] = {
        QVariant(),
        QVariant(u"12"_qs),
        QVariant(QByteArray("12")),
        QVariant(true),
        QVariant(std::numeric_limits<double>::quiet_NaN()),
        QVariant(std::numeric_limits<double>::infinity()),
    };
    for (const QVariant &value : notNumbers) {
        SCOPED_TRACE(value.typeName() ? value.typeName() : "invalid");
        EXPECT_FALSE(HumanReadableBigNumbers().transformedValue(value).has_value());
        EXPECT_FALSE(HumanReadableFileSize().transformedValue(value).has_value());
    }
    EXPECT_FALSE(HumanReadableBigNumbers::allowsReverseTransformation());
    EXPECT_FALSE(HumanReadableFileSize::allowsReverseTransformation());
}

} // namespace
