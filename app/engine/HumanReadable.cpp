#include "HumanReadable.h"

#include <QLocale>

QString humanReadableCount(qint64 count)
{
    return QLocale().toString(count);
}
