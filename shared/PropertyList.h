#pragma once

// Conversion between Qt values and property lists (through libplist).
//
// Writing: QString -> string, bool -> true/false, integers -> integer,
// double -> real, QStringList/QVariantList -> array, QVariantMap -> dict,
// QByteArray -> data, QDateTime -> date. Any other type makes toXml() fail,
// so nothing is ever written half.
// Reading: accepts XML and binary property lists. Integers come back as
// qlonglong, reals as double, arrays whose items are all strings (also empty
// arrays) as QStringList, other arrays as QVariantList, dicts as QVariantMap.
// Dates come back as UTC QDateTime (millisecond precision). Values Qt cannot
// hold (UIDs of keyed archives) are left out of their array or dict.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace PropertyList {

// The XML text of the value, or nothing when it holds an unsupported type
// (error then names the first offending type).
std::optional<QByteArray> toXml(const QVariant &root, QString *error = nullptr);

// The value the bytes describe, or nothing when they are not a property list.
std::optional<QVariant> fromData(const QByteArray &data);

} // namespace PropertyList
