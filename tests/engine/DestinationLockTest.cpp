// The destination's lock between two accounts in one folder: the test runs
// as root, the other account is `nobody`, in a forked child that changes
// its ids.
#include "DestinationLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr uid_t nobody = 65534;

// A child process of the account nobody: runs `action`, sends its answer
// back and stays (holding whatever it opened) until release().
class OtherAccount
{
public:
    explicit OtherAccount(const std::function<QByteArray()> &action)
    {
        if (::pipe2(m_answer, O_CLOEXEC) != 0 || ::pipe2(m_release, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(m_release[1]); // so that release() ends the wait below
            if (::setresgid(nobody, nobody, nobody) != 0 || ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(3);
            const QByteArray answer = action() + '\n';
            [[maybe_unused]] const ssize_t written = ::write(m_answer[1], answer.constData(), size_t(answer.size()));
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(m_release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(m_answer[1]);
        ::close(m_release[0]);
    }
    ~OtherAccount()
    {
        release();
        ::close(m_answer[0]);
    }

    QByteArray answer()
    {
        QByteArray text;
        char byte;
        while (::read(m_answer[0], &byte, 1) == 1 && byte != '\n')
            text += byte;
        return text;
    }
    void release()
    {
        if (m_pid <= 0)
            return;
        ::close(m_release[1]);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_answer[2] = {-1, -1};
    int m_release[2] = {-1, -1};
};

class DestinationLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        ASSERT_EQ(::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755), 0);
    }
    QByteArray lockFile() const { return QFile::encodeName(m_tmp.filePath(DestinationLock::fileName())); }

    QTemporaryDir m_tmp;
};

// Whatever was there before, once a run of ours has locked the destination
// another account that can read it cannot open the lock file at all.
TEST_F(DestinationLockTest, AfterARunOnlyItsAccountCanOpenTheLockFile)
{
    for (const int earlierMode : {-1, 0644, 0666}) {
        SCOPED_TRACE(earlierMode);
        ::unlink(lockFile().constData());
        if (earlierMode >= 0) {
            const int fd = ::open(lockFile().constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::fchmod(fd, mode_t(earlierMode)), 0);
            ::close(fd);
        }
        {
            DestinationLock run;
            ASSERT_EQ(run.acquire(m_tmp.path(), std::chrono::milliseconds(0)), std::nullopt);
        }
        const QByteArray path = lockFile();
        OtherAccount other([&path] {
            const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) == 0)
                return QByteArray("held a lock");
            return QByteArray("refused");
        });
        EXPECT_EQ(other.answer(), "refused");
        // The run into the destination is not refused afterwards.
        other.release();
        DestinationLock next;
        EXPECT_EQ(next.acquire(m_tmp.path(), std::chrono::milliseconds(0)), std::nullopt);
    }
}

// A refusal names the other account, whichever side holds the file.
TEST_F(DestinationLockTest, ARefusalNamesTheOtherAccount)
{
    const QByteArray destination = QFile::encodeName(m_tmp.path());
    const QByteArray path = lockFile();
    // The other account plants its own lock file in a folder both may
    // write (sticky, like /tmp) and holds it: root's run refuses that file.
    ASSERT_EQ(::chmod(destination.constData(), 01777), 0);
    {
        OtherAccount other([&path] {
            const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            return QByteArray(fd >= 0 && ::flock(fd, LOCK_SH) == 0 ? "holding" : "failed");
        });
        ASSERT_EQ(other.answer(), "holding");
        DestinationLock run;
        const std::optional<QString> refusal = run.acquire(m_tmp.path(), std::chrono::milliseconds(0));
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->contains(u"nobody"_s)) << qPrintable(*refusal);
        EXPECT_FALSE(DestinationLock::isHeld(m_tmp.path()));
    }
    ASSERT_EQ(::unlink(path.constData()), 0);

    // Root's run holds the destination: the other account is told so.
    DestinationLock run;
    ASSERT_EQ(run.acquire(m_tmp.path(), std::chrono::milliseconds(0)), std::nullopt);
    const QString dest = m_tmp.path();
    OtherAccount other([&dest] {
        DestinationLock second;
        return second.acquire(dest, std::chrono::milliseconds(0)).value_or(QString()).toUtf8();
    });
    EXPECT_EQ(other.answer().toStdString(), DestinationLock::busyText(dest, 0).toStdString());
}

// A link or a FIFO under the lock file's name is refused and left alone;
// nothing waits on the FIFO.
TEST_F(DestinationLockTest, ALinkOrFifoUnderItsNameIsRefusedAndNotFollowed)
{
    const QByteArray target = QFile::encodeName(m_tmp.filePath(u"elsewhere"_s));
    ASSERT_EQ(::close(::open(target.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644)), 0);
    const std::function<int()> planters[] = {
        [&] { return ::symlink(target.constData(), lockFile().constData()); },
        [&] { return ::link(target.constData(), lockFile().constData()); },
        [&] { return ::mkfifo(lockFile().constData(), 0644); },
    };
    for (const auto &plant : planters) {
        ::unlink(lockFile().constData());
        ASSERT_EQ(plant(), 0);
        EXPECT_FALSE(DestinationLock::isHeld(m_tmp.path()));
        DestinationLock run;
        const std::optional<QString> refusal = run.acquire(m_tmp.path(), std::chrono::milliseconds(0));
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->contains(DestinationLock::fileName())) << qPrintable(*refusal);
        struct stat file = {};
        ASSERT_EQ(::stat(target.constData(), &file), 0);
        EXPECT_EQ(file.st_mode & 07777, 0644u);
    }
}

} // namespace
