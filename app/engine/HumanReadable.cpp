#include "HumanReadable.h"

#include "HumanReadableFormatters.h"

QString humanReadableCount(qint64 count)
{
    return HumanReadableBigNumbers::textForNumber(double(count));
}
