#pragma once

// Rows printed as columns: each column as wide as its widest cell plus two
// spaces, the last column unpadded, trailing spaces trimmed.

#include <QList>
#include <QStringList>

#include <cstdio>

inline void printColumns(const QList<QStringList> &rows, std::FILE *stream = stdout)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row.at(column).size());
    }
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row.at(column).leftJustified(widths[column] + 2) : row.at(column);
        std::fprintf(stream, "%s\n", qPrintable(line.trimmed()));
    }
}
