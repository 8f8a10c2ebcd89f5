// The two shared-suite keys of a file-manager paste: the archive of file
// URLs, the request the start-up reads from them, and taking it exactly once.
#include "FinderCopyHandOver.h"
#include "PropertyList.h"
#include "SharedDefaults.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(FinderCopyArchive, IsAnXmlArrayOfUrlStringsInOrderAndReadsBack)
{
    const QList<QUrl> urls{QUrl::fromLocalFile(u"/z/last"_s), QUrl::fromLocalFile(u"/a/with space/é"_s),
                           QUrl::fromLocalFile(u"/m/folder/"_s)};
    const QByteArray archive = archiveFileURLs(urls);
    EXPECT_TRUE(archive.startsWith("<?xml"));
    const std::optional<QVariant> root = PropertyList::fromData(archive);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->toStringList(),
              (QStringList{u"file:///z/last"_s, u"file:///a/with%20space/%C3%A9"_s, u"file:///m/folder/"_s}));
    EXPECT_EQ(unarchiveFileURLs(archive), urls);
    EXPECT_EQ(unarchiveFileURLs(archiveFileURLs({})), QList<QUrl>());
}

TEST(FinderCopyArchive, AnythingButAnArrayOfStringsHoldsNoItem)
{
    const struct
    {
        const char *name;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"not a property list", "selectedForCopy"},
        {"a dictionary", *PropertyList::toXml(QVariantMap{{u"a"_s, u"file:///a"_s}})},
        {"an array of numbers", *PropertyList::toXml(QVariantList{1, 2})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(unarchiveFileURLs(c.data), QList<QUrl>());
    }
}

struct RequestCase
{
    const char *name;
    QVariant paste;
    QVariant copy;
    std::optional<FinderCopyRequest> expected;
};

TEST(FinderCopyRequestFrom, BothKeysMakeARequestOfLocalPathsWithoutTrailingSlash)
{
    const QVariant twoItems = archiveFileURLs({QUrl(u"file:///src/folder/"_s), QUrl(u"file:///src/file.txt"_s)});
    const RequestCase cases[] = {
        {"no keys", {}, {}, std::nullopt},
        {"no copied items key", u"/target"_s, {}, std::nullopt},
        {"no target key", {}, twoItems, std::nullopt},
        {"two items, in order", u"/target"_s, twoItems,
         FinderCopyRequest{{u"/src/folder"_s, u"/src/file.txt"_s}, u"/target"_s}},
        {"nothing copied", u"/target/"_s, archiveFileURLs({}), FinderCopyRequest{{}, u"/target"_s}},
        {"unreadable archive", u"/target"_s, QByteArray("junk"), FinderCopyRequest{{}, u"/target"_s}},
        // Anything but an absolute local path is refused, never passed on.
        {"remote items are refused", u"/target"_s,
         archiveFileURLs({QUrl(u"sftp://host/a"_s), QUrl(u"file://host/c"_s), QUrl(u"file:///b"_s)}),
         FinderCopyRequest{{u"/b"_s}, u"/target"_s, {u"sftp://host/a"_s, u"file://host/c"_s}}},
        {"an item like an option and a relative item are refused", u"/target"_s,
         archiveFileURLs({QUrl(u"file:--remove-source-files"_s), QUrl(u"file:notes.txt"_s), QUrl(u"file:///b"_s)}),
         FinderCopyRequest{{u"/b"_s}, u"/target"_s, {u"file:--remove-source-files"_s, u"file:notes.txt"_s}}},
        {"a relative target is refused", u"--target"_s, archiveFileURLs({QUrl(u"file:///b"_s)}),
         FinderCopyRequest{{u"/b"_s}, u"--target"_s, {u"--target"_s}}},
    };
    for (const RequestCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(finderCopyRequestFrom(c.paste, c.copy), c.expected);
    }
}

class FinderCopyTake : public ::testing::Test
{
protected:
    void SetUp() override { getUserDefaults()->clear(); }
    void TearDown() override { getUserDefaults()->clear(); }
};

TEST_F(FinderCopyTake, AWrittenRequestIsTakenOnceAndOtherKeysStay)
{
    {
        auto defaults = getUserDefaults();
        defaults->setValue(DefaultsKey::protectRoot, false);
        defaults->sync();
    }
    ASSERT_TRUE(writeFinderCopyRequest(u"/target"_s, {QUrl(u"file:///one"_s), QUrl(u"file:///two"_s)}));
    EXPECT_EQ(takeFinderCopyRequest(), (FinderCopyRequest{{u"/one"_s, u"/two"_s}, u"/target"_s}));
    EXPECT_EQ(takeFinderCopyRequest(), std::nullopt);

    auto defaults = getUserDefaults();
    EXPECT_FALSE(defaults->contains(DefaultsKey::selectedForPaste));
    EXPECT_FALSE(defaults->contains(DefaultsKey::selectedForCopy));
    EXPECT_FALSE(SharedDefaults::protectRoot(*defaults));
}

TEST_F(FinderCopyTake, OneKeyAloneIsANormalLaunchAndIsLeftAlone)
{
    {
        auto defaults = getUserDefaults();
        defaults->setValue(DefaultsKey::selectedForPaste, u"/target"_s);
        defaults->sync();
    }
    EXPECT_EQ(takeFinderCopyRequest(), std::nullopt);
    EXPECT_EQ(getUserDefaults()->value(DefaultsKey::selectedForPaste).toString(), u"/target"_s);
}

TEST_F(FinderCopyTake, ALaterPasteReplacesAnUntakenOne)
{
    ASSERT_TRUE(writeFinderCopyRequest(u"/first"_s, {QUrl(u"file:///a"_s)}));
    ASSERT_TRUE(writeFinderCopyRequest(u"/second"_s, {QUrl(u"file:///b"_s)}));
    EXPECT_EQ(takeFinderCopyRequest(), (FinderCopyRequest{{u"/b"_s}, u"/second"_s}));
    EXPECT_EQ(takeFinderCopyRequest(), std::nullopt);
}

} // namespace
