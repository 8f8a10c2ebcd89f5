#pragma once

// A job's thinning policy, kept in its record as "H,D,W,M" under the key
// "thinning" (absent: the job keeps its newest "snapshotsToKeep"). What the
// counts mean is SnapshotThinning's rule.

#include <QString>

#include <optional>

struct ThinningPolicy
{
    int hours = 24;
    int days = 31;
    int weeks = 8;
    int months = 12;

    // "H,D,W,M", the form the job record and the terminal use.
    QString toText() const;
    // None unless four counts of zero or more; hours at least 1.
    static std::optional<ThinningPolicy> fromText(const QString &text);
    bool operator==(const ThinningPolicy &) const = default;
};
