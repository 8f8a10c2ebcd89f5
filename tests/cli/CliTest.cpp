// vellumor-cli: its command line, and whole runs of the program.
#include "CommandLine.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

void writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(CliCommandLine, AcceptsAndRejects)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    QDir().mkpath(src + QStringLiteral("/sub"));
    const struct
    {
        const char *name;
        QStringList arguments;
        QString errorContains; // empty: accepted
    } cases[] = {
        {"sync", {QStringLiteral("backup"), src, dir.filePath(QStringLiteral("dest"))}, {}},
        {"relative paths resolve against the working directory",
         {QStringLiteral("backup"), QStringLiteral("src"), QStringLiteral("dest")},
         {}},
        {"snapshot with keep and exclusions",
         {QStringLiteral("backup"), QStringLiteral("--snapshot"), QStringLiteral("--keep"), QStringLiteral("3"),
          QStringLiteral("--exclude"), QStringLiteral("src/sub"), src, dir.filePath(QStringLiteral("dest"))},
         {}},
        {"fast snapshot",
         {QStringLiteral("backup"), QStringLiteral("--snapshot"), QStringLiteral("--fast"), src,
          dir.filePath(QStringLiteral("dest"))},
         {}},
        {"fast before snapshot",
         {QStringLiteral("backup"), QStringLiteral("--fast"), QStringLiteral("--snapshot"), src,
          dir.filePath(QStringLiteral("dest"))},
         {}},
        {"fast without snapshot",
         {QStringLiteral("backup"), QStringLiteral("--fast"), src, dir.filePath(QStringLiteral("dest"))},
         QStringLiteral("--fast needs --snapshot")},
        {"schedule has no --fast",
         {QStringLiteral("schedule"), QStringLiteral("--snapshot"), QStringLiteral("--fast"), QStringLiteral("--days"),
          QStringLiteral("mon"), QStringLiteral("--at"), QStringLiteral("10:00"), src, QStringLiteral("d")},
         QStringLiteral("unknown option --fast")},
        {"missing source",
         {QStringLiteral("backup"), dir.filePath(QStringLiteral("nope")), dir.path()},
         QStringLiteral("does not exist")},
        {"destination inside the source",
         {QStringLiteral("backup"), src, src + QStringLiteral("/sub/inner")},
         QStringLiteral("inside the source")},
        {"destination is the source", {QStringLiteral("backup"), src, src}, QStringLiteral("inside the source")},
        {"copy would land on the source",
         {QStringLiteral("backup"), src, dir.path()},
         QStringLiteral("write over the source")},
        {"keep zero",
         {QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("0"), src,
          dir.path() + QStringLiteral("/d")},
         QStringLiteral("positive number")},
        {"keep not a number",
         {QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("x"), src, QStringLiteral("d")},
         QStringLiteral("positive number")},
        {"keep without value",
         {QStringLiteral("backup"), src, QStringLiteral("d"), QStringLiteral("--keep")},
         QStringLiteral("needs a value")},
        {"no destination", {QStringLiteral("backup"), src}, QStringLiteral("SOURCE and a DEST")},
        {"restore takes two paths",
         {QStringLiteral("restore"), src, src, QStringLiteral("d")},
         QStringLiteral("exactly one SOURCE")},
        {"restore has no --snapshot",
         {QStringLiteral("restore"), QStringLiteral("--snapshot"), src, QStringLiteral("d")},
         QStringLiteral("unknown option")},
        {"unknown command", {QStringLiteral("copy"), src, QStringLiteral("d")}, QStringLiteral("unknown command")},
        {"no command", {}, QStringLiteral("missing command")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CliJob job = parseCommandLine(c.arguments, dir.path());
        if (c.errorContains.isEmpty()) {
            EXPECT_TRUE(job.error.isEmpty()) << job.error.toStdString();
        } else {
            EXPECT_TRUE(job.error.contains(c.errorContains)) << job.error.toStdString();
        }
    }
    const CliJob relative
        = parseCommandLine({QStringLiteral("backup"), QStringLiteral("--exclude"), QStringLiteral("src/sub"),
                            QStringLiteral("src/"), QStringLiteral("dest")},
                           dir.path());
    EXPECT_EQ(relative.sources, QStringList{src + u'/'});
    EXPECT_EQ(relative.destination, dir.filePath(QStringLiteral("dest")));
    EXPECT_EQ(relative.excludedFiles, QStringList{src + QStringLiteral("/sub")});
    EXPECT_EQ(parseCommandLine({QStringLiteral("--help")}, dir.path()).command, CliJob::Command::Help);
    EXPECT_TRUE(parseCommandLine({QStringLiteral("backup"), QStringLiteral("--snapshot"), QStringLiteral("--fast"), src,
                                  QStringLiteral("dest")},
                                 dir.path())
                    .fast);
    EXPECT_FALSE(parseCommandLine({QStringLiteral("backup"), QStringLiteral("--snapshot"), src, QStringLiteral("dest")},
                                  dir.path())
                     .fast);
    EXPECT_TRUE(usageText().contains(QStringLiteral("[--snapshot [--fast]]")));
}

const QString kCli = QStringLiteral(VELLUMOR_STAGE "/bin/vellumor-cli");

TEST(CliRun, BacksUpAndReportsWhereTheCopyIs)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
    QProcess cli;
    cli.start(kCli,
              {QStringLiteral("backup"), dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("dest"))});
    ASSERT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardOutput()).contains(QStringLiteral("Copied to ")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("dest/src/a.txt"))));

    QProcess bad;
    bad.start(kCli,
              {QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("-1"),
               dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("x"))});
    ASSERT_TRUE(bad.waitForFinished(60000));
    EXPECT_EQ(bad.exitCode(), 2);
}

TEST(CliRun, ASnapshotHardLinksUnchangedFilesToTheNewestSnapshot)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
    const QString older = dir.filePath(QStringLiteral("dest/VLM Snapshot 01-12-2026 Tue 10-00 AM"));
    const QString newest = dir.filePath(QStringLiteral("dest/VLM Snapshot 02-12-2026 Wed 10-00 AM"));
    QDir().mkpath(dir.filePath(QStringLiteral("dest")));
    for (const QString &snapshot : {older, newest}) {
        QProcess copy;
        copy.start(QStringLiteral("rsync"),
                   {QStringLiteral("-a"), dir.filePath(QStringLiteral("src")), snapshot + u'/'});
        ASSERT_TRUE(copy.waitForFinished(60000));
    }
    QProcess cli;
    // A Snapshot backup saves its job: into this test's own support folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    cli.setProcessEnvironment(environment);
    cli.start(kCli,
              {QStringLiteral("backup"), QStringLiteral("--snapshot"), QStringLiteral("--keep"), QStringLiteral("2"),
               dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("dest"))});
    ASSERT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    // The oldest went to make room; the newest is kept and linked against.
    EXPECT_FALSE(QFileInfo::exists(older));
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(newest + QStringLiteral("/src/a.txt")).constData(), &status), 0);
    EXPECT_EQ(status.st_nlink, 2u);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("dest"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
}

TEST(CliRun, CtrlCStopsTheCopyAndLeavesNothingRunning)
{
    // A prefix whose rsync starts a helper (like rsync's receiver) and hangs.
    QTemporaryDir prefix;
    const QString tools = prefix.filePath(QStringLiteral("libexec/vellumor"));
    writeFile(tools + QStringLiteral("/rsync"),
              "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/pids\"\n"
              "if [ \"$1\" = --dry-run ]; then printf '\\t://: src/\\n'; exit 0; fi\n"
              "sleep 600 &\necho $! >> \"$(dirname \"$0\")/pids\"\nprintf '\\t://: src/\\n'\nwait\n",
              true);
    for (const char *name : {"diskutil", "mount", "bless", "dropcount"})
        writeFile(tools + u'/' + QLatin1String(name), "#!/bin/sh\nexit 0\n", true);
    writeFile(prefix.filePath(QStringLiteral("share/vellumor/excludelist.txt")), "");
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");

    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELLUMOR_PREFIX"), prefix.path());
    cli.setProcessEnvironment(environment);
    cli.start(kCli,
              {QStringLiteral("backup"), dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("dest"))});
    ASSERT_TRUE(cli.waitForStarted());
    auto pids = [&] {
        QFile file(tools + QStringLiteral("/pids"));
        QList<pid_t> result;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    result << pid_t(line.toInt());
        return result;
    };
    // Wait for the dry run, the copy and its helper (the guard only ends a hang).
    for (int i = 0; i < 6000 && pids().size() < 3; ++i)
        cli.waitForFinished(10);
    ASSERT_EQ(pids().size(), 3);
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 130) << cli.readAllStandardError().toStdString();
    // Ended processes are gone or, until their parent reaps them, zombies.
    // A killed process takes a moment to die; the guard only ends a hang.
    const auto alive = [](pid_t pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = stat.readAll();
        return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
    };
    const QList<pid_t> started = pids();
    for (int i = 0; i < 3000 && std::any_of(started.begin(), started.end(), alive); ++i)
        QThread::msleep(10);
    for (pid_t pid : started)
        EXPECT_FALSE(alive(pid)) << pid;
}

} // namespace

namespace {

// A prefix whose rsync answers the dry run with one item and runs `body` as
// the real run; the other tools do nothing.
void writeScriptedPrefix(const QString &prefix, const QByteArray &body)
{
    const QString tools = prefix + QStringLiteral("/libexec/vellumor");
    writeFile(tools + QStringLiteral("/rsync"),
              "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/pids\"\n"
              "if [ \"$1\" = --dry-run ]; then printf '\\t://: src/\\n\\t://: src/a.txt\\n'; exit 0; fi\n"
                  + body,
              true);
    for (const char *name : {"diskutil", "mount", "bless", "dropcount"})
        writeFile(tools + u'/' + QLatin1String(name), "#!/bin/sh\nexit 0\n", true);
    writeFile(prefix + QStringLiteral("/share/vellumor/excludelist.txt"), "");
}

// Starts "vellumor-cli backup DIR/src DIR/dest" with the tools of `prefix`,
// keeping its job record in DIR/data.
void startScriptedBackup(QProcess &cli, const QString &prefix, const QTemporaryDir &dir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELLUMOR_PREFIX"), prefix);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    cli.setProcessEnvironment(environment);
    cli.start(kCli,
              {QStringLiteral("backup"), dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("dest"))});
}

QList<pid_t> scriptedPids(const QString &prefix)
{
    QFile file(prefix + QStringLiteral("/libexec/vellumor/pids"));
    QList<pid_t> result;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                result << pid_t(line.toInt());
    return result;
}

bool isRunning(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

TEST(CliRun, TheExitCodeAndTheLastLinesFollowTheCopyProgram)
{
    const QByteArray deep = QFile::encodeName(QStringLiteral(VELLUMOR_FIXTURES_DIR "/rsync/26-sync-path-too-long.out"));
    const struct
    {
        const char *name;
        QByteArray body;
        int exitCode;
        QString lastOut; // the last status line before "Copied to"
        QString errContains;
    } cases[] = {
        {"clean",
         "printf '\\t://: src/\\n\\t://: src/a.txt\\n\\nNumber of files: 2\\n'; exit 0\n",
         0,
         QStringLiteral("Backup Complete."),
         {}},
        {"vanished files are a note",
         "printf '\\t://: src/a.txt\\nfile has vanished: \"/s/b\"\\n\\nNumber of files: 2\\n'"
         "; exit 24\n",
         0,
         QStringLiteral("Backup Complete. Some source files vanished"),
         {}},
        {"path too long: exit 23 after the summary", "cat '" + deep + "'; exit 23\n", 1,
         QStringLiteral("Finished with 1 error: filename overflows max-path len by 23: Deep/level00-"),
         QStringLiteral("Finished with 1 error: filename overflows")},
        {"fatal error", "printf 'rsync: [Receiver] mkdir \"/x\" failed: Permission denied (13)\\n' >&2; exit 11\n", 1,
         QStringLiteral("Backup failed: rsync: [Receiver] mkdir"), QStringLiteral("Backup Failed")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        writeScriptedPrefix(prefix.path(), c.body);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
        QProcess cli;
        startScriptedBackup(cli, prefix.path(), dir);
        ASSERT_TRUE(cli.waitForFinished(60000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        EXPECT_EQ(cli.exitCode(), c.exitCode) << err.toStdString();
        QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty() && lines.last().startsWith(QStringLiteral("Copied to ")))
            lines.removeLast();
        ASSERT_FALSE(lines.isEmpty()) << out.toStdString();
        EXPECT_TRUE(lines.last().startsWith(c.lastOut)) << out.toStdString();
        EXPECT_FALSE(c.exitCode != 0 && out.contains(QStringLiteral("Backup Complete."))) << out.toStdString();
        EXPECT_TRUE(err.contains(c.errContains)) << err.toStdString();
    }
}

TEST(CliRun, OffATerminalEachTickPrintsTheStatusWithBothRates)
{
    // The copy reports its items, then waits until the test has seen a tick.
    QTemporaryDir prefix;
    writeScriptedPrefix(prefix.path(),
                        "printf '\\t://: src/\\n\\t://: src/a.txt\\n        1,024 100%%    1.00MB/s    0:00:01\\n'\n"
                        "while [ ! -e \"$(dirname \"$0\")/go\" ]; do sleep 0.01; done\n"
                        "printf '\\nNumber of files: 2\\n'\n");
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
    QProcess cli;
    startScriptedBackup(cli, prefix.path(), dir);
    QString out;
    // The guard only ends a hang.
    for (int i = 0; i < 3000 && !out.contains(QStringLiteral("Data / second: ")); ++i) {
        cli.waitForReadyRead(20);
        out += QString::fromUtf8(cli.readAllStandardOutput());
    }
    writeFile(prefix.filePath(QStringLiteral("libexec/vellumor/go")), "");
    ASSERT_TRUE(cli.waitForFinished(60000));
    out += QString::fromUtf8(cli.readAllStandardOutput());
    EXPECT_EQ(cli.exitCode(), 0);
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    const auto tick = std::find_if(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(QStringLiteral("Copied 2 of about"));
    });
    ASSERT_NE(tick, lines.cend()) << out.toStdString();
    EXPECT_TRUE(tick->contains(QStringLiteral("Files / second: 2 files")) && tick->contains(u"Data / second: 1.00MB"))
        << tick->toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Backup Complete."))) << out.toStdString();
}

TEST(CliRun, AKilledFrontEndTakesTheCopyProgramWithIt)
{
    QTemporaryDir prefix;
    writeScriptedPrefix(prefix.path(), "printf '\\t://: src/\\n'\nexec sleep 600\n");
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
    QProcess cli;
    startScriptedBackup(cli, prefix.path(), dir);
    ASSERT_TRUE(cli.waitForStarted());
    // The dry run, then the copy (the guard only ends a hang).
    for (int i = 0; i < 6000 && scriptedPids(prefix.path()).size() < 2; ++i)
        cli.waitForFinished(10);
    ASSERT_EQ(scriptedPids(prefix.path()).size(), 2);
    const pid_t copy = scriptedPids(prefix.path()).at(1);
    for (int i = 0; i < 6000 && !isRunning(copy); ++i)
        cli.waitForFinished(10);
    ::kill(pid_t(cli.processId()), SIGKILL);
    ASSERT_TRUE(cli.waitForFinished(60000));
    bool gone = false;
    for (int i = 0; i < 6000 && !gone; ++i) {
        gone = !isRunning(copy);
        if (!gone)
            ::usleep(10000);
    }
    EXPECT_TRUE(gone) << "the copy program outlived its front end";
}

namespace {

// Runs vellumor-cli with `arguments` and `environment`, its standard output a
// pipe nobody reads any more (as under `| head -c1` once head has ended);
// its wait status.
int runWithClosedOutput(const QStringList &arguments, const QProcessEnvironment &environment)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    ::close(ends[0]);
    std::vector<QByteArray> texts{QFile::encodeName(kCli)};
    for (const QString &argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<QByteArray> variables;
    for (const QString &variable : environment.toStringList())
        variables.push_back(variable.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    // The program starts with the default action for SIGPIPE, whatever this
    // test process was given.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    int status = -1;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return status;
}

} // namespace

TEST(CliRun, AClosedStandardOutputNeitherEndsTheRunNorReachesTheCopyProgram)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/a.txt")), "a\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    const QStringList backup{QStringLiteral("backup"), dir.filePath(QStringLiteral("src")),
                             dir.filePath(QStringLiteral("dest"))};

    // With the bundled rsync: the whole copy, and its own status.
    int status = runWithClosedOutput(backup, environment);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("dest/src/a.txt"))));

    // The copy program still dies of a broken pipe of its own.
    QTemporaryDir prefix;
    writeScriptedPrefix(prefix.path(),
                        "grep SigIgn /proc/$$/status > \"$(dirname \"$0\")/ignored\"\n"
                        "printf '\\t://: src/\\n\\t://: src/a.txt\\n\\nNumber of files: 2\\n'; exit 0\n");
    environment.insert(QStringLiteral("VELLUMOR_PREFIX"), prefix.path());
    status = runWithClosedOutput(backup, environment);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    QFile ignored(prefix.filePath(QStringLiteral("libexec/vellumor/ignored")));
    ASSERT_TRUE(ignored.open(QIODevice::ReadOnly));
    bool isNumber = false;
    const qulonglong mask = ignored.readAll().mid(7).trimmed().toULongLong(&isNumber, 16);
    ASSERT_TRUE(isNumber);
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u);
}

TEST(CliRun, ARestoreKeepsTheMeaningOfATrailingSlash)
{
    const struct
    {
        const char *name;
        QString source; // inside the snapshot
        QString restored;
        QString absent;
    } cases[] = {
        {"what Data/ holds, into Data", QStringLiteral("Data/"), QStringLiteral("a.txt"), QStringLiteral("Data")},
        {"the folder Data, into Data", QStringLiteral("Data"), QStringLiteral("Data/a.txt"), QStringLiteral("a.txt")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("SNAPSHOT/Data/a.txt")), "a\n");
        const QString target = dir.filePath(QStringLiteral("home/Data"));
        writeFile(target + QStringLiteral("/mine.txt"), "mine\n");
        QProcess cli;
        cli.start(kCli, {QStringLiteral("restore"), dir.filePath(QStringLiteral("SNAPSHOT/")) + c.source, target});
        ASSERT_TRUE(cli.waitForFinished(120000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        EXPECT_TRUE(QFileInfo::exists(target + u'/' + c.restored));
        EXPECT_FALSE(QFileInfo::exists(target + u'/' + c.absent));
        EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/mine.txt")));
    }
}
