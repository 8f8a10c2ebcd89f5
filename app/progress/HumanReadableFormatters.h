#pragma once

// Short texts for the main window: a count with an English scale word
// ("2.00 million") and a byte count with a unit of powers of 1024 ("1.50 KB").
//
// What callers may rely on:
//  - transformedValue() gives a text for any QVariant holding a number
//    (integers of any width, float, double; all taken as double), and
//    std::nullopt for anything else: texts, booleans, an empty QVariant, and
//    NaN or infinite doubles;
//  - numbers are written with '.' as the decimal point whatever the process
//    locale, rounded like printf's "%f" (an exact half goes to the even digit);
//  - values beyond the largest word or unit keep the largest one
//    ("1000000.0000000000 septillion"), so every finite number has a text;
//  - the classes are stateless and may be used from any thread.

#include <QString>
#include <QVariant>

#include <optional>

class HumanReadableBigNumbers
{
public:
    std::optional<QString> transformedValue(const QVariant &value) const;
    static QString textForNumber(double value);

    // The text is the only product; there is no way back to the number.
    static constexpr bool allowsReverseTransformation() { return false; }
};

class HumanReadableFileSize
{
public:
    std::optional<QString> transformedValue(const QVariant &value) const;
    static QString textForNumber(double value);

    static constexpr bool allowsReverseTransformation() { return false; }
};

// The number a QVariant holds, when it holds a finite one (shared by both
// formatters; exposed for the status texts that format counters directly).
std::optional<double> humanReadableNumberFromVariant(const QVariant &value);
