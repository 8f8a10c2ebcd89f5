// Volume presence: which paths count as present, with a fake mount table for
// removable disks and the real one for what every Linux machine has.
#include "MountTable.h"
#include "VolumePresence.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class FakeMountTable final : public MountTable
{
public:
    explicit FakeMountTable(QSet<QString> roots) : m_roots(std::move(roots)) {}
    bool isVolumeRoot(const QString &path) const override { return m_roots.contains(path); }

private:
    QSet<QString> m_roots;
};

TEST(VolumePresence, PathsOnPresentAndAbsentVolumes)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString mnt = tmp.filePath(u"mnt"_s);
    ASSERT_TRUE(QDir().mkpath(tmp.filePath(u"mntdata/x"_s)));
    ASSERT_TRUE(QDir().mkpath(mnt + u"/Plain"_s));
    const FakeMountTable mounts({u"/media/Backup"_s, mnt + u"/Disk"_s});
    const VolumePresence presence(mounts, {u"/media"_s, u"/run/media"_s, mnt});

    const struct
    {
        const char *name;
        QString path;
        bool present;
    } table[] = {
        {"the root", u"/"_s, true},
        {"existing folder outside the media roots", tmp.path(), true},
        {"missing folder on the system disk", u"/vellumor-missing/x"_s, false},
        {"missing folder on a mounted disk", u"/media/Backup/Sub"_s, true},
        {"the mounted disk itself, with a trailing slash", u"/media/Backup/"_s, true},
        {"folder on a disk that is not mounted", u"/media/Other/Sub"_s, false},
        {"dot-dot out of the mounted disk", u"/media/Backup/../Other/Sub"_s, false},
        {"the media root itself", u"/media"_s, false},
        {"existing folder under a media root but on no volume", mnt + u"/Plain"_s, false},
        {"under the other media root", mnt + u"/Disk/a/b"_s, true},
        {"a name that only starts like a media root", tmp.filePath(u"mntdata/x"_s), true},
        {"empty", QString(), false},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(presence.volumeIsMounted(row.path), row.present) << row.path.toStdString();
    }
}

TEST(VolumePresence, RealMountTableKnowsMountPoints)
{
    const MountTable &mounts = MountTable::system();
    EXPECT_FALSE(mounts.isVolumeRoot(u"/"_s)) << "the root is never a volume root";
    EXPECT_TRUE(mounts.isVolumeRoot(u"/proc"_s));
    EXPECT_FALSE(mounts.isVolumeRoot(u"/proc/self/fd"_s));
    EXPECT_FALSE(mounts.isVolumeRoot(u"/vellumor-missing"_s));
    EXPECT_TRUE(volumeIsMounted(u"/proc/no-such-entry"_s)) << "outside the media roots, but on a mounted volume";
}

} // namespace
