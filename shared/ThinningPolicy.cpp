#include "ThinningPolicy.h"

#include <QStringList>

QString ThinningPolicy::toText() const
{
    return QStringLiteral("%1,%2,%3,%4").arg(hours).arg(days).arg(weeks).arg(months);
}

std::optional<ThinningPolicy> ThinningPolicy::fromText(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || values[i] < 0)
            return std::nullopt;
    }
    if (values[0] < 1)
        return std::nullopt;
    return ThinningPolicy{values[0], values[1], values[2], values[3]};
}
