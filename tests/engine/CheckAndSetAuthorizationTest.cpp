// The tool-rights check: who is asked for a password, which tools are
// repaired, what the repair executable refuses, and what a non-member is told.
#include "CheckAndSetAuthorization.h"
#include "ToolRights.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <sys/types.h>
#include <gtest/gtest.h>
#include <sys/file.h>
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

AccountRights member(gid_t group)
{
    AccountRights rights;
    rights.group = group;
    rights.isMember = true;
    rights.userName = QStringLiteral("alice");
    return rights;
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

struct RunResult
{
    int status = -1;
    QString output;
};

RunResult run(const QString &program, const QStringList &arguments = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// A bundle prefix in the build tree: every folder above it belongs to root
// and is not writable by others, which a folder under /tmp never is.
class AuthorizationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "setting root ownership needs root";
        ASSERT_TRUE(m_prefix.isValid());
        const std::string reason = ToolRights::unsafeFolderReason(m_prefix.path().toStdString());
        if (!reason.empty())
            GTEST_SKIP() << "the build tree is no safe place for set-user-ID tools: " << reason;
        ASSERT_TRUE(QDir().mkpath(toolDirectory()));
        ASSERT_EQ(::chmod(encoded(m_prefix.filePath(QStringLiteral("libexec"))).constData(), 0755), 0);
        ASSERT_EQ(::chmod(encoded(toolDirectory()).constData(), 0755), 0);
    }
    QString toolDirectory() const { return m_prefix.filePath(QStringLiteral("libexec/vellumor")); }
    QString make(const QString &name, ToolState state)
    {
        const QString path = toolDirectory() + u'/' + name;
        QFile::remove(path);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_EQ(::chown(encoded(path).constData(), state.rootOwned ? 0 : 1, ::getgid()), 0);
        EXPECT_EQ(::chmod(encoded(path).constData(), state.mode), 0);
        return path;
    }
    void makeAll(ToolState state)
    {
        for (const QString &name : CheckAndSetAuthorization::toolNames())
            make(name, state);
    }
    QTemporaryDir m_prefix{QStringLiteral(VELLUMOR_BUILD_DIR "/authorization-XXXXXX")};
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
        {"another owner is never repaired: it could still hold the file open for writing",
         good,
         {04750, false},
         good,
         good,
         {}},
        {"several at once, one call",
         {0755, true},
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
        EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&runner, toolDirectory(), member(::getgid())),
                  c.expectedRepairs.size());
        if (c.expectedRepairs.isEmpty()) {
            EXPECT_TRUE(runner.calls.isEmpty());
            continue;
        }
        ASSERT_EQ(runner.calls.size(), 1);
        // Names only, never paths: the repair finds the tools beside itself.
        EXPECT_EQ(runner.calls[0],
                  QStringList{toolDirectory() + QStringLiteral("/vellumor-repair-tools")} + c.expectedRepairs);
    }
}

TEST_F(AuthorizationTest, OnlyAMemberWhoseToolsCanHaveRootRightsIsAskedForAPassword)
{
    makeAll({0755, true});
    AccountRights root;
    root.isRoot = true;
    AccountRights outsider = member(::getgid());
    outsider.isMember = false;
    AccountRights noGroup;
    QTemporaryDir underTmp; // /tmp may be changed by every account
    ASSERT_TRUE(QDir().mkpath(underTmp.path() + QStringLiteral("/libexec/vellumor")));
    const struct
    {
        const char *name;
        AccountRights rights;
        QString directory;
        int expectedCalls;
    } cases[] = {
        {"root needs no repair", root, toolDirectory(), 0},
        {"a non-member copies with their own rights", outsider, toolDirectory(), 0},
        {"without the group nobody is a member", noGroup, toolDirectory(), 0},
        {"a member with the tools under /tmp", member(::getgid()),
         underTmp.path() + QStringLiteral("/libexec/vellumor"), 0},
        {"a member with the tools in a root-only folder", member(::getgid()), toolDirectory(), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRunner runner;
        CheckAndSetAuthorization::checkSetAuth(&runner, c.directory, c.rights);
        EXPECT_EQ(runner.calls.size(), c.expectedCalls);
    }
}

TEST_F(AuthorizationTest, AFailedRepairIsLoggedAndCheckedAgainNextTime)
{
    make(QStringLiteral("rsync"), {0755, true});
    for (const char *name : {"mount", "bless", "dropcount"})
        make(QLatin1String(name), {04750, true});
    RecordingRunner refused;
    refused.status = 126; // pkexec: the user dismissed the prompt
    EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&refused, toolDirectory(), member(::getgid())), 1);
    EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&refused, toolDirectory(), member(::getgid())), 1);
    EXPECT_EQ(refused.calls.size(), 2);
}

TEST_F(AuthorizationTest, ANonMemberRunsThePlainCopyOfAToolItMayNotRun)
{
    QDir().mkpath(toolDirectory() + QStringLiteral("/user"));
    make(QStringLiteral("rsync"), {04750, true});
    make(QStringLiteral("user/rsync"), {0755, true});
    // Not even root may run a file without any execute bit: it stands for a
    // tool of a group this account is not in.
    make(QStringLiteral("dropcount"), {0640, true});
    make(QStringLiteral("user/dropcount"), {0755, true});
    make(QStringLiteral("mount"), {0640, true});
    make(QStringLiteral("bless"), {0750, true});
    EXPECT_EQ(CheckAndSetAuthorization::runnableToolPath(toolDirectory(), QStringLiteral("bless")),
              toolDirectory() + QStringLiteral("/bless"));
    // Set-user-ID root for this process's group, which is not `vellumor`:
    // never run with those rights.
    EXPECT_EQ(CheckAndSetAuthorization::runnableToolPath(toolDirectory(), QStringLiteral("rsync")),
              toolDirectory() + QStringLiteral("/user/rsync"));
    EXPECT_FALSE(CheckAndSetAuthorization::refusedRootRightsReason(toolDirectory(), QStringLiteral("rsync")).isEmpty());
    EXPECT_EQ(CheckAndSetAuthorization::runnableToolPath(toolDirectory(), QStringLiteral("dropcount")),
              toolDirectory() + QStringLiteral("/user/dropcount"));
    EXPECT_EQ(CheckAndSetAuthorization::runnableToolPath(toolDirectory(), QStringLiteral("mount")),
              toolDirectory() + QStringLiteral("/mount"))
        << "without a plain copy the tool itself is named, so the failure to start says which";
}

TEST(RightsNotice, SaysWhatOwnRightsMeanAndHowAnAdministratorGrantsRootRights)
{
    AccountRights root;
    root.isRoot = true;
    AccountRights outsider = member(4242);
    outsider.isMember = false;
    AccountRights noGroup;
    noGroup.userName = QStringLiteral("bob");
    QTemporaryDir underTmp;
    QTemporaryDir setUidRsyncFolder;
    const QString setUidRsync = setUidRsyncFolder.filePath(QStringLiteral("rsync"));
    QFile(setUidRsync).open(QIODevice::WriteOnly);
    if (::chown(encoded(setUidRsync).constData(), 0, 4242) != 0
        || ::chmod(encoded(setUidRsync).constData(), 04750) != 0)
        GTEST_SKIP() << "a root-owned set-user-ID file needs root";
    const struct
    {
        const char *name;
        AccountRights rights;
        QString directory;
        QStringList expectedParts;
    } cases[] = {
        {"root", root, underTmp.path(), {}},
        {"a non-member",
         outsider,
         QString(),
         {QStringLiteral("your own rights"), QStringLiteral("skipped"), QStringLiteral("sudo adduser alice vellumor"),
          QStringLiteral("log in again"), QStringLiteral("same power over all files as an administrator")}},
        {"no group yet",
         noGroup,
         QString(),
         {QStringLiteral("skipped"), QStringLiteral("sudo addgroup --system vellumor"),
          QStringLiteral("sudo adduser bob vellumor")}},
        {"a member whose tools sit under /tmp",
         member(4242),
         underTmp.path(),
         {QStringLiteral("your own rights"), QStringLiteral("may be changed by other accounts")}},
        // Its group (4242) is not named vellumor: the plain copy runs, and the
        // notice says why.
        {"a member whose set-user-ID rsync is of another group",
         member(4242),
         setUidRsyncFolder.path(),
         {QStringLiteral("your own rights"), QStringLiteral("may be changed by other accounts")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString notice = CheckAndSetAuthorization::rightsNotice(c.rights, c.directory);
        EXPECT_EQ(notice.isEmpty(), c.expectedParts.isEmpty()) << notice.toStdString();
        for (const QString &part : c.expectedParts)
            EXPECT_TRUE(notice.contains(part)) << part.toStdString() << " in " << notice.toStdString();
    }
}

TEST(RightsNotice, IsGivenOncePerStart)
{
    AccountRights outsider;
    outsider.userName = QStringLiteral("carol");
    EXPECT_TRUE(CheckAndSetAuthorization::takeRightsNotice(outsider).contains(QStringLiteral("carol")));
    EXPECT_TRUE(CheckAndSetAuthorization::takeRightsNotice(outsider).isEmpty());
}

TEST(ToolRightsRefusal, RootRightsAreHonouredForTheGroupVellumorOnly)
{
    const struct
    {
        const char *name;
        mode_t mode;
        uid_t owner;
        const char *groupName;      // null: the number has no group
        const char *expectedReason; // empty: may run
    } cases[] = {
        {"the group vellumor", S_IFREG | 04750, 0, "vellumor", ""},
        {"a group that took a freed number", S_IFREG | 04750, 0, "staff", "its group is \"staff\""},
        {"a number without a group", S_IFREG | 04750, 0, nullptr, "belongs to no group"},
        {"no set-user-ID bit", S_IFREG | 0750, 0, "staff", ""},
        {"set-user-ID for another owner", S_IFREG | 04750, 1000, "staff", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        struct stat status = {};
        status.st_mode = c.mode;
        status.st_uid = c.owner;
        status.st_gid = 4321;
        const std::string reason = ToolRights::setUserIdRefusalReason(status, c.groupName);
        if (*c.expectedReason == '\0')
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(c.expectedReason), std::string::npos) << reason;
    }
}

TEST(ToolRightsRefusal, ACopyIsOlderWhenItDiffersAndTheSystemProgramChangedSince)
{
    QTemporaryDir scratch;
    const QString system = scratch.filePath(QStringLiteral("system"));
    const QString copy = scratch.filePath(QStringLiteral("copy"));
    const auto write = [](const QString &path, const QByteArray &content, time_t modified) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, encoded(path).constData(), times, 0), 0);
    };
    const struct
    {
        const char *name;
        QByteArray copyContent;
        time_t copyTime;
        bool older;
    } cases[] = {
        {"the same program, copied earlier", "rsync 3.2.7", 1000, false},
        {"an upgraded system program", "rsync 3.2.6", 1000, true},
        {"an upgrade of the same size", "rsync 3.2.8", 1000, true},
        {"a copy newer than the system program", "rsync 3.2.6", 3000, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write(system, "rsync 3.2.7", 2000);
        write(copy, c.copyContent, c.copyTime);
        EXPECT_EQ(ToolRights::isOlderCopyOf(encoded(copy).toStdString(), encoded(system).toStdString()), c.older);
    }
    EXPECT_FALSE(ToolRights::isOlderCopyOf(encoded(copy).toStdString(),
                                           encoded(scratch.filePath(QStringLiteral("none"))).toStdString()));
}

TEST(RightsNotice, AWindowTellsItOnceAcrossStartsAndLogsItOtherwise)
{
    QTemporaryDir dir;
    QSettings defaults(dir.filePath(QStringLiteral("shared.conf")), QSettings::IniFormat);
    AccountRights outsider;
    outsider.userName = QStringLiteral("dave");
    AccountRights root;
    root.isRoot = true;
    const struct
    {
        const char *name;
        AccountRights rights;
        bool canTell;
        bool told;
    } starts[] = {
        {"a file-manager copy or a start without a screen", outsider, false, false},
        {"the first start of the window", outsider, true, true},
        {"every later start", outsider, true, false},
        {"a start that copies with root rights forgets it", root, true, false},
        {"so the next start without them tells it again", outsider, true, true},
    };
    for (const auto &start : starts) {
        SCOPED_TRACE(start.name);
        const QString notice = CheckAndSetAuthorization::rightsNoticeToTell(defaults, start.canTell, start.rights);
        EXPECT_EQ(!notice.isEmpty(), start.told) << notice.toStdString();
    }
}

TEST(ToolRightsFolders, OnlyFoldersNoOtherAccountCanChangeAreSafe)
{
    QTemporaryDir scratch;
    const QString link = scratch.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr"), link));
    const QString file = scratch.filePath(QStringLiteral("file"));
    QFile(file).open(QIODevice::WriteOnly);
    const struct
    {
        const char *name;
        QString folder;
        const char *expectedReason; // empty: safe
    } cases[] = {
        {"the root folder", QStringLiteral("/"), ""},
        {"a system folder", QStringLiteral("/usr/bin/"), ""},
        {"a relative path", QStringLiteral("usr/bin"), "not an absolute path"},
        {"dot-dot", QStringLiteral("/usr/bin/.."), "not a plain path"},
        {"the shared temporary folder", QDir::tempPath(), "may be changed by other accounts"},
        {"a link", link, "is a symbolic link"},
        {"a file", file, "is not a folder"},
        {"missing", scratch.filePath(QStringLiteral("none")), "cannot be examined"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = ToolRights::unsafeFolderReason(encoded(c.folder).toStdString());
        if (*c.expectedReason == '\0')
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(c.expectedReason), std::string::npos) << reason;
    }
}

TEST(RightsNotice, ATerminalRunByANonMemberSaysItOnceAndCopiesWhatTheAccountMayRead)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "running as another account needs root";
    if (const struct group *entry = ::getgrnam(ToolRights::groupName); entry && *entry->gr_mem)
        GTEST_SKIP() << "this machine's group vellumor has members";
    constexpr uid_t nobody = 65534;
    QTemporaryDir scratch;
    ::chmod(encoded(scratch.path()).constData(), 0755);
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir().mkpath(scratch.filePath(QStringLiteral("src")));
    QDir().mkpath(home);
    ASSERT_EQ(::chown(encoded(home).constData(), nobody, nobody), 0);
    for (const char *name : {"readable", "root only"}) {
        QFile file(scratch.filePath(QStringLiteral("src/") + QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    ::chmod(encoded(scratch.filePath(QStringLiteral("src/root only"))).constData(), 0600);

    QProcess cli;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("VELLUMOR_PREFIX"), QStringLiteral(VELLUMOR_STAGE));
    cli.setProcessEnvironment(environment);
    cli.setChildProcessModifier([] {
        ::setgroups(0, nullptr);
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(99);
    });
    cli.start(QStringLiteral(VELLUMOR_STAGE "/bin/vellumor-cli"),
              {QStringLiteral("backup"), scratch.filePath(QStringLiteral("src")), home + QStringLiteral("/dest")});
    ASSERT_TRUE(cli.waitForFinished(120000));
    const QString errors = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(errors.count(QStringLiteral("copies with your own rights")), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("sudo addgroup --system vellumor"))
                || errors.contains(QStringLiteral("sudo adduser nobody vellumor")))
        << errors.toStdString();
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("/dest/src/readable")));
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/dest/src/root only")));
}

// The repair executable itself, run as root as pkexec would run it.
class RepairExecutableTest : public AuthorizationTest
{
protected:
    void SetUp() override
    {
        AuthorizationTest::SetUp();
        if (IsSkipped())
            return;
        // One test at a time, across test processes, may create and delete
        // the group; otherwise one could delete it under another.
        m_groupLock = ::open("/tmp/vellumor-group-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(m_groupLock, 0);
        ASSERT_EQ(::flock(m_groupLock, LOCK_EX), 0);
        m_groupExisted = ::getgrnam(ToolRights::groupName) != nullptr;
        m_repair = toolDirectory() + QStringLiteral("/vellumor-repair-tools");
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELLUMOR_STAGE "/libexec/vellumor/vellumor-repair-tools"), m_repair));
        ASSERT_EQ(::chmod(encoded(m_repair).constData(), 0755), 0);
    }
    void TearDown() override
    {
        // The group this test made (none existed before) goes again.
        if (!IsSkipped() && !m_groupExisted && ::getgrnam(ToolRights::groupName))
            run(QStringLiteral("/usr/sbin/groupdel"), {QLatin1String(ToolRights::groupName)});
        if (m_groupLock >= 0)
            ::close(m_groupLock);
    }
    static gid_t vellumorGroup()
    {
        const struct group *entry = ::getgrnam(ToolRights::groupName);
        return entry ? entry->gr_gid : gid_t(-1);
    }
    QString m_repair;
    bool m_groupExisted = true;
    int m_groupLock = -1;
};

TEST_F(RepairExecutableTest, GivesRegularRootOwnedToolsTheirRightsAndRefusesEverythingElse)
{
    make(QStringLiteral("rsync"), {0755, true});
    make(QStringLiteral("mount"), {04755, true});
    make(QStringLiteral("bless"), {0644, true});
    // A link in a tool's place must not make its target set-user-ID root.
    const QString target = m_prefix.filePath(QStringLiteral("someone else's program"));
    QFile(target).open(QIODevice::WriteOnly);
    ::chmod(encoded(target).constData(), 0755);
    ASSERT_TRUE(QFile::link(target, toolDirectory() + QStringLiteral("/dropcount")));

    const RunResult result = run(m_repair);
    EXPECT_EQ(result.status, 1) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QStringLiteral("dropcount: not repaired"))) << result.output.toStdString();
    ASSERT_NE(vellumorGroup(), gid_t(-1)) << "the repair creates the group when it is missing";
    for (const char *name : {"rsync", "mount", "bless"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(
            CheckAndSetAuthorization::hasRequiredState(toolDirectory() + u'/' + QLatin1String(name), vellumorGroup()));
    }
    struct stat status;
    ASSERT_EQ(::stat(encoded(target).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode_t(0755));
    EXPECT_EQ(status.st_gid, ::getgid());
}

TEST_F(RepairExecutableTest, AnRsyncCopyOlderThanTheSystemsIsCopiedAgain)
{
    run(m_repair); // creates the group when it is missing
    ASSERT_NE(vellumorGroup(), gid_t(-1));
    makeAll({04750, true});
    for (const QString &name : CheckAndSetAuthorization::toolNames())
        ASSERT_EQ(::chown(encoded(toolDirectory() + u'/' + name).constData(), 0, vellumorGroup()), 0);
    for (const QString &name : CheckAndSetAuthorization::toolNames())
        ASSERT_EQ(::chmod(encoded(toolDirectory() + u'/' + name).constData(), 04750), 0);
    const QString rsync = toolDirectory() + QStringLiteral("/rsync");
    const struct timespec longAgo[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, encoded(rsync).constData(), longAgo, 0), 0);
    EXPECT_FALSE(CheckAndSetAuthorization::refusedRootRightsReason(toolDirectory(), QStringLiteral("rsync")).isEmpty());
    RecordingRunner runner;
    EXPECT_EQ(CheckAndSetAuthorization::checkSetAuth(&runner, toolDirectory(), member(vellumorGroup())), 1);
    ASSERT_EQ(runner.calls.size(), 1);
    EXPECT_EQ(runner.calls.first().mid(1), QStringList{QStringLiteral("rsync")});

    const RunResult result = run(m_repair, {QStringLiteral("rsync")});
    EXPECT_EQ(result.status, 0) << result.output.toStdString();
    QFile copy(rsync);
    QFile system(QString::fromLocal8Bit(ToolRights::systemRsyncPath()));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && system.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll() == system.readAll()) << "the copy is the system's rsync again";
    EXPECT_TRUE(CheckAndSetAuthorization::hasRequiredState(rsync, vellumorGroup()));
    EXPECT_TRUE(CheckAndSetAuthorization::refusedRootRightsReason(toolDirectory(), QStringLiteral("rsync")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(toolDirectory() + QStringLiteral("/.rsync.new")));
}

TEST_F(RepairExecutableTest, RepairsNothingWhereItIsNotSafe)
{
    const QString hardLinked = m_prefix.filePath(QStringLiteral("second name"));
    const struct
    {
        const char *name;
        std::function<void()> arrange;
        QStringList arguments;
        int expectedStatus;
        const char *expectedText;
    } cases[] = {
        {"a tool folder others may write",
         [&] { ::chmod(encoded(toolDirectory()).constData(), 0775); },
         {},
         3,
         "may be changed by other accounts"},
        {"a tool with a second name",
         [&] {
             ::link(encoded(toolDirectory() + QStringLiteral("/rsync")).constData(), encoded(hardLinked).constData());
         },
         {QStringLiteral("rsync")},
         1,
         "more than one name"},
        {"a tool owned by another account",
         [&] {
             make(QStringLiteral("bless"), {0755, false});
         },
         {QStringLiteral("bless")},
         1,
         "not owned by root"},
        {"a path instead of a tool name", [] {}, {QStringLiteral("/bin/sh")}, 2, "unknown tool"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        makeAll({0755, true});
        ::chmod(encoded(toolDirectory()).constData(), 0755);
        QFile::remove(hardLinked);
        c.arrange();
        const RunResult result = run(m_repair, c.arguments);
        EXPECT_EQ(result.status, c.expectedStatus) << result.output.toStdString();
        EXPECT_TRUE(result.output.contains(QLatin1String(c.expectedText))) << result.output.toStdString();
        if (c.expectedStatus != 1) {
            for (const QString &name : CheckAndSetAuthorization::toolNames())
                EXPECT_FALSE(
                    CheckAndSetAuthorization::hasRequiredState(toolDirectory() + u'/' + name, vellumorGroup()));
        }
    }
    ::chmod(encoded(toolDirectory()).constData(), 0755);
}

TEST_F(RepairExecutableTest, RefusesToRunOutsideABundle)
{
    const QString elsewhere = m_prefix.filePath(QStringLiteral("vellumor-repair-tools"));
    ASSERT_TRUE(QFile::copy(m_repair, elsewhere));
    const RunResult result = run(elsewhere);
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(result.output.contains(QStringLiteral("not inside"))) << result.output.toStdString();
}

} // namespace
