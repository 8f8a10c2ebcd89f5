// Volume presence: which paths count as present, with a fake mount table for
// removable disks and the real one for what every Linux machine has.
#include "MountTable.h"
#include "VolumePresence.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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
    const FakeMountTable mounts({u"/media/Backup"_s, mnt + u"/Disk"_s, u"/run"_s, u"/run/media/u/Stick"_s});
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
        {"disk folder under /run/media when only /run is a mount", u"/run/media/u/Disk/Sub"_s, false},
        {"disk mounted under /run/media", u"/run/media/u/Stick/Sub"_s, true},
        {"missing folder on /run outside the media roots", u"/run/vellumor-missing"_s, true},
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

// In a private mount namespace, /run becomes a tmpfs (as systemd makes it)
// holding /run/media/tester/Disk as a plain folder, then a tmpfs is mounted
// on that folder. Each answer is one byte on the pipe: '0'/'1' for absent or
// present, 'S' when this machine does not allow a mount namespace.
TEST(VolumePresence, DiskUnderRunMediaIsPresentOnlyWhileMountedThere)
{
    int answers[2];
    ASSERT_EQ(::pipe(answers), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(answers[0]);
        auto say = [&](char c) { return ::write(answers[1], &c, 1) == 1; };
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", "/run", "tmpfs", 0, "size=1m") != 0)
            ::_exit(errno == EPERM && say('S') ? 0 : 1);
        const QString disk = u"/run/media/tester/Disk"_s;
        if (!QDir().mkpath(disk))
            ::_exit(2);
        say(volumeIsMounted(disk + u"/Backups"_s) ? '1' : '0');
        if (::mount("tmpfs", "/run/media/tester/Disk", "tmpfs", 0, "size=1m") != 0)
            ::_exit(3);
        say(volumeIsMounted(disk + u"/Backups"_s) ? '1' : '0');
        ::_exit(0);
    }
    ::close(answers[1]);
    char said[3] = {};
    ssize_t count = 0;
    for (ssize_t got; count < 3 && (got = ::read(answers[0], said + count, size_t(3 - count))) > 0;)
        count += got;
    ::close(answers[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    if (count == 1 && said[0] == 'S')
        GTEST_SKIP() << "mount namespaces are not permitted here";
    ASSERT_EQ(count, 2);
    EXPECT_EQ(said[0], '0') << "a folder on the /run tmpfs is not a disk";
    EXPECT_EQ(said[1], '1') << "the disk is mounted on its folder";
}

} // namespace
