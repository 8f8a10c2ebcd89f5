#pragma once

// The copy program's environment, with a UTF-8 character type.
//
// rsync escapes every byte above 0x7F as "\#ooo" when its locale is not
// UTF-8, which would show names such as "R\#303\#251sum\#303\#251.txt" in the
// animated view. environmentWithUtf8Locale() returns the given environment
// unchanged when its effective character type (LC_ALL, else LC_CTYPE, else
// LANG, the first one set and non-empty) is already UTF-8, and otherwise the
// same environment with LC_ALL=C.UTF-8 added (or replaced).

#include <QHash>
#include <QString>

bool localeNameIsUtf8(const QString &localeName);
QHash<QString, QString> environmentWithUtf8Locale(QHash<QString, QString> environment);
