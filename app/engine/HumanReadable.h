#pragma once

// Counts in words for the engine's status texts ("12 thousand").
#include <QString>

QString humanReadableCount(qint64 count);
