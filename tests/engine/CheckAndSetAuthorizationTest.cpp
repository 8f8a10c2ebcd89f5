// The tool-rights check: which tools are repaired, and with which command.
#include "CheckAndSetAuthorization.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class RecordingRunner : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &commandLine) override
    {
        calls.append(commandLine);
        return status;
    }
    QList<QStringList> calls;
    int status = 0;
};

struct ToolState
{
    mode_t mode;
    bool rootOwned;
};

class AuthorizationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "setting root ownership needs root";
    }
    QString make(const QString &name, ToolState state)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_EQ(::chown(QFile::encodeName(path).constData(), state.rootOwned ? 0 : 1, ::getgid()), 0);
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), state.mode), 0);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(AuthorizationTest, RepairsExactlyTheToolsOutOfState)
{
    const ToolState good{04750, true};
    const struct
    {
        const char *name;
        ToolState rsync, mount, bless, dropcount;
        QStringList expectedRepairs;
    } cases[] = {
        {"all in state: nothing runs", good, good, good, good, {}},
        {"only bless wrong", good, good, {0755, true}, good, {QStringLiteral("bless")}},
        {"mode 4755 is not enough (every account could run it)",
         {04755, true},
         good,
         good,
         good,
         {QStringLiteral("rsync")}},
        {"right mode, other owner", good, {04750, false}, good, good, {QStringLiteral("mount")}},
        {"several at once, one call",
         {0755, false},
         good,
         good,
         {0644, true},
         {QStringLiteral("rsync"), QStringLiteral("dropcount")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        make(QStringLiteral("rsync"), c.rsync);
        make(QStringLiteral("mount"), c.mount);
        make(QStringLiteral("bless"), c.bless);
        make(QStringLiteral("dropcount"), c.dropcount);
        RecordingRunner runner;
        EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&runner, m_dir.path(), ::getgid()), c.expectedRepairs.size());
        if (c.expectedRepairs.isEmpty()) {
            EXPECT_TRUE(runner.calls.isEmpty());
            continue;
        }
        ASSERT_EQ(runner.calls.size(), 1);
        QStringList expectedPaths;
        for (const QString &name : c.expectedRepairs)
            expectedPaths << m_dir.filePath(name);
        EXPECT_EQ(runner.calls[0].mid(5), expectedPaths);
    }
}

TEST_F(AuthorizationTest, TheRepairCommandReachesTheRequiredState)
{
    const QString odd = make(QStringLiteral("tool with 'quote' $(x) ;"), {0755, false});
    const QString plain = make(QStringLiteral("-dash"), {0644, true});
    const QStringList command = CheckAndSetAuthorization::repairCommand({odd, plain}, ::getgid());
    QProcess process;
    process.start(command.first(), command.mid(1));
    ASSERT_TRUE(process.waitForFinished(-1));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(CheckAndSetAuthorization::hasRequiredState(odd, ::getgid()));
    EXPECT_TRUE(CheckAndSetAuthorization::hasRequiredState(plain, ::getgid()));
    EXPECT_FALSE(CheckAndSetAuthorization::hasRequiredState(plain, ::getgid() + 1));
}

TEST_F(AuthorizationTest, AFailedRepairIsLoggedAndCheckedAgainNextTime)
{
    make(QStringLiteral("rsync"), {0755, true});
    for (const char *name : {"mount", "bless", "dropcount"})
        make(QLatin1String(name), {04750, true});
    RecordingRunner refused;
    refused.status = 126; // pkexec: the user dismissed the prompt
    EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&refused, m_dir.path(), ::getgid()), 1);
    EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&refused, m_dir.path(), ::getgid()), 1);
    EXPECT_EQ(refused.calls.size(), 2);
}

} // namespace
