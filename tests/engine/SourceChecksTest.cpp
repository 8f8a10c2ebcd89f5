// Checks of the sources before a run writes anything: links, shared names,
// and an empty source that would empty its mirror.
#include "SourceChecks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

class SourceChecksTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    void makeFile(const QString &relative)
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void makeFolder(const QString &relative) { ASSERT_TRUE(QDir().mkpath(path(relative))); }
    void link(const QString &target, const QString &relative) { ASSERT_TRUE(QFile::link(target, path(relative))); }

    QTemporaryDir m_dir;
};

TEST_F(SourceChecksTest, ALinkToAFolderIsFollowedAtTheSourceOnly)
{
    makeFile(u"real/docs/a.txt"_s);
    makeFile(u"real/file.txt"_s);
    link(path(u"real/docs"_s), u"docs-link"_s);
    link(path(u"docs-link"_s), u"chain"_s);
    link(u"real/docs"_s, u"relative-link"_s); // relative to the link's folder
    link(path(u"real/file.txt"_s), u"file-link"_s);
    link(path(u"real/docs"_s), u"real/docs/inner-link"_s);

    struct Case
    {
        QString source;
        QString expected;
        bool wasLink;
    };
    const Case cases[] = {
        {path(u"docs-link"_s), path(u"real/docs"_s), true},  {path(u"docs-link/"_s), path(u"real/docs"_s), true},
        {path(u"chain"_s), path(u"real/docs"_s), true},      {path(u"relative-link"_s), path(u"real/docs"_s), true},
        {path(u"real/docs"_s), path(u"real/docs"_s), false}, // a folder stays itself
        {path(u"file-link"_s), path(u"file-link"_s), false}, // a link to a file is copied as a link
        {path(u"missing"_s), path(u"missing"_s), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const SourceChecks::ResolvedSource resolved = SourceChecks::resolveSourceLink(c.source);
        EXPECT_EQ(resolved.path, c.expected);
        EXPECT_EQ(resolved.wasLink, c.wasLink);
    }
    // Links inside the source are not followed (rsync copies them as links).
    EXPECT_TRUE(QFileInfo(path(u"real/docs/inner-link"_s)).isSymLink());
}

TEST(SourceChecks, ExclusionsNamedThroughALinkFollowIt)
{
    EXPECT_EQ(SourceChecks::rebasedEntries({u"/h/link/build"_s, u"/h/linked/x"_s, u"/h/link"_s, u"/o/y"_s},
                                           u"/h/link"_s, u"/data/docs"_s),
              (QStringList{u"/data/docs/build"_s, u"/h/linked/x"_s, u"/h/link"_s, u"/o/y"_s}));
}

TEST(SourceChecks, SourcesSharingAFinalNameAreNamed)
{
    struct Case
    {
        const char *name;
        QStringList sources;
        QStringList shared;
    };
    const Case cases[] = {
        {"different names", {u"/a/docs"_s, u"/a/photos"_s}, {}},
        {"two docs folders", {u"/home/a/docs"_s, u"/srv/docs"_s}, {u"docs"_s}},
        {"three of one, two of another",
         {u"/a/docs"_s, u"/b/docs"_s, u"/c/docs"_s, u"/a/x"_s, u"/b/x"_s},
         {u"docs"_s, u"x"_s}},
        {"names differ in case only", {u"/a/Docs"_s, u"/b/docs"_s}, {}},
        {"a contents copy has no folder name", {u"/"_s}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SourceChecks::sharedFinalNames(c.sources), c.shared);
    }
    EXPECT_TRUE(SourceChecks::sharedNamesText({u"docs"_s}).contains(u"named docs"_s));
}

TEST_F(SourceChecksTest, AnEmptyOrUnreadableSourceMustNotEmptyItsMirror)
{
    makeFolder(u"empty"_s);
    makeFile(u"full/a.txt"_s);
    makeFolder(u"locked"_s);
    makeFile(u"dest/empty/kept.txt"_s);
    makeFile(u"dest/full/old.txt"_s);
    makeFile(u"dest/locked/kept.txt"_s);
    makeFile(u"dest/missing/kept.txt"_s);
    makeFolder(u"dest/fresh"_s);
    makeFolder(u"fresh"_s);
    ASSERT_EQ(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0), 0);
    const bool runsAsRoot = ::geteuid() == 0; // root reads any folder
    const QString dest = path(u"dest/"_s);

    struct Case
    {
        const char *name;
        QStringList sources;
        bool refused;
        QString refusedSource;
        bool unreadable;
    };
    const Case cases[] = {
        {"a full source", {path(u"full"_s)}, false, {}, false},
        {"an empty source whose copy holds files", {path(u"empty"_s)}, true, path(u"empty"_s), false},
        {"an unmounted or missing source", {path(u"missing"_s)}, true, path(u"missing"_s), true},
        {"an empty source with an empty copy", {path(u"fresh"_s)}, false, {}, false},
        {"an empty source never copied", {path(u"full"_s), path(u"nothing-yet"_s)}, false, {}, false},
        {"the second source is the empty one", {path(u"full"_s), path(u"empty"_s)}, true, path(u"empty"_s), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto refusal = SourceChecks::emptySourceRefusal(c.sources, dest);
        ASSERT_EQ(refusal.has_value(), c.refused);
        if (!refusal)
            continue;
        EXPECT_EQ(refusal->source, c.refusedSource);
        EXPECT_EQ(refusal->copy, dest + QFileInfo(c.refusedSource).fileName());
        EXPECT_EQ(refusal->unreadable, c.unreadable);
        EXPECT_TRUE(SourceChecks::refusalText(*refusal).contains(refusal->copy));
    }
    if (!runsAsRoot) {
        const auto locked = SourceChecks::emptySourceRefusal({path(u"locked"_s)}, dest);
        ASSERT_TRUE(locked.has_value());
        EXPECT_TRUE(locked->unreadable);
        EXPECT_TRUE(SourceChecks::refusalText(*locked).contains(u"cannot be read"_s));
    }
    // A contents copy ("/" at the end) is compared with the destination itself.
    const auto contents = SourceChecks::emptySourceRefusal({path(u"empty/"_s)}, dest);
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->copy, dest);
    ::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0700);
}

} // namespace
