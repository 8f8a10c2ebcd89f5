#include "ChildLocale.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct LocaleCase
{
    const char *name;
    QHash<QString, QString> environment;
    const char *expectedLcAll; // nullptr: left unset
};

TEST(ChildLocale, GivesTheCopyProgramAUtf8CharacterType)
{
    const LocaleCase cases[] = {
        {"nothing set", {}, "C.UTF-8"},
        {"LANG already UTF-8", {{u"LANG"_s, u"de_DE.UTF-8"_s}}, nullptr},
        {"lower-case spelling", {{u"LANG"_s, u"en_US.utf8"_s}}, nullptr},
        {"LANG of C", {{u"LANG"_s, u"C"_s}}, "C.UTF-8"},
        {"LC_CTYPE wins over LANG", {{u"LANG"_s, u"en_US.UTF-8"_s}, {u"LC_CTYPE"_s, u"POSIX"_s}}, "C.UTF-8"},
        {"LC_ALL wins over both", {{u"LC_ALL"_s, u"C"_s}, {u"LANG"_s, u"en_US.UTF-8"_s}}, "C.UTF-8"},
        {"an empty LC_ALL is unset", {{u"LC_ALL"_s, QString()}, {u"LANG"_s, u"en_US.UTF-8"_s}}, ""},
        {"a Latin-1 locale", {{u"LANG"_s, u"de_DE.ISO-8859-1"_s}}, "C.UTF-8"},
    };
    for (const LocaleCase &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QHash<QString, QString> result = environmentWithUtf8Locale(testCase.environment);
        if (testCase.expectedLcAll) {
            EXPECT_EQ(result.value(u"LC_ALL"_s), QString::fromUtf8(testCase.expectedLcAll));
        } else {
            EXPECT_FALSE(result.contains(u"LC_ALL"_s));
        }
        for (auto it = testCase.environment.cbegin(); it != testCase.environment.cend(); ++it) {
            if (it.key() != u"LC_ALL"_s || !testCase.expectedLcAll || !*testCase.expectedLcAll) {
                EXPECT_EQ(result.value(it.key()), it.value());
            }
        }
    }
}

} // namespace
