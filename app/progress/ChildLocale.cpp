#include "ChildLocale.h"

using namespace Qt::StringLiterals;

bool localeNameIsUtf8(const QString &localeName)
{
    // glibc accepts both spellings of the codeset ("en_US.UTF-8", "C.utf8").
    return localeName.contains(u"utf-8"_s, Qt::CaseInsensitive) || localeName.contains(u"utf8"_s, Qt::CaseInsensitive);
}

QHash<QString, QString> environmentWithUtf8Locale(QHash<QString, QString> environment)
{
    QString effective;
    for (const QString &name : {u"LC_ALL"_s, u"LC_CTYPE"_s, u"LANG"_s}) {
        effective = environment.value(name);
        if (!effective.isEmpty())
            break;
    }
    if (!localeNameIsUtf8(effective))
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    return environment;
}
