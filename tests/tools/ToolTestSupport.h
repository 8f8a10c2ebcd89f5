#pragma once

// Helpers for the file-tree tools' tests: trees deeper than a descriptor
// limit, runs under a small open-file limit, and a file system mounted inside
// a tree.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ToolTest {

// Makes `depth` nested folders "d" under `root` with a file "bottom" of
// `bottomSize` bytes in the deepest, holding at most two descriptors at once.
inline bool makeDeepTree(const QString &root, int depth, int bottomSize)
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        ::mkdirat(fd, "d", 0755);
        const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
    }
    if (fd < 0)
        return false;
    const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const QByteArray bytes(bottomSize, 'x');
    const bool written = file >= 0 && ::write(file, bytes.constData(), size_t(bytes.size())) == bottomSize;
    if (file >= 0)
        ::close(file);
    ::close(fd);
    return written;
}

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// Runs `program` with at most `maxOpenFiles` descriptors (0: no new limit).
inline Run runWithFileLimit(const QString &program, const QStringList &arguments, rlim_t maxOpenFiles = 0)
{
    QProcess process;
    if (maxOpenFiles > 0) {
        process.setChildProcessModifier([maxOpenFiles] {
            const struct rlimit limit = {maxOpenFiles, maxOpenFiles};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
    }
    process.start(program, arguments);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// A small tmpfs mounted on an existing folder for the object's lifetime.
class TmpfsMount
{
public:
    explicit TmpfsMount(const QString &folder) : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=1m") == 0;
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

} // namespace ToolTest
