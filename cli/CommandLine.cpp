#include "CommandLine.h"

#include "SourceChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

QString absolute(const QString &path, const QString &workingDirectory)
{
    const QString clean = QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(path));
    // "/" and "x/" mean "the contents of"; keep the trailing "/" rsync reads.
    return (path.endsWith(u'/') && clean != u"/") ? clean + u'/' : clean;
}

// "mon,wed,fri" (three-letter or full English names, any case) as weekday
// segments, Monday first; nothing when a name is not a weekday.
std::optional<std::array<bool, 7>> parseDays(const QString &text)
{
    static const char *const names[] = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
    std::array<bool, 7> days{};
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    for (const QString &part : parts) {
        const QString name = part.trimmed().toLower();
        int found = -1;
        for (int segment = 0; segment < 7; ++segment) {
            const QString full = QLatin1String(names[segment]);
            if (name.size() >= 3 && full.startsWith(name))
                found = segment;
        }
        if (found < 0)
            return std::nullopt;
        days[found] = true;
    }
    return days;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "usage: vellumor-cli backup [--snapshot [--fast]] [--keep N | --thin [H,D,W,M]] [--exclude PATH]... SOURCE... "
        "DEST\n"
        "       vellumor-cli restore SOURCE DEST\n"
        "       vellumor-cli schedule [--snapshot] [--keep N | --thin [H,D,W,M]] [--exclude PATH]... --days "
        "mon,tue,... "
        "--at HH:MM "
        "SOURCE DEST\n"
        "       vellumor-cli prune [--thin [H,D,W,M]] [--dry-run] SOURCE DEST\n"
        "       vellumor-cli list\n"
        "       vellumor-cli status\n"
        "       vellumor-cli log [-n N]\n"
        "       vellumor-cli run-due\n"
        "       vellumor-cli --help\n"
        "\n"
        "backup   copies the SOURCE folders into DEST now: a mirror that deletes what is gone\n"
        "         (Sync), or with --snapshot a new dated snapshot folder in DEST;\n"
        "         --keep N keeps at most N snapshots; --exclude PATH skips PATH (inside the first SOURCE).\n"
        "         A Snapshot backup saves its job in the schedule, so the next one links against it.\n"
        "         --fast (with --snapshot) clones the last snapshot as hard links and copies only the\n"
        "         changes into the clone, for this run whatever the preference fastSnapshots says.\n"
        "restore  copies SOURCE back to DEST without deleting anything and without replacing newer files;\n"
        "         SOURCE/ (ending in \"/\") copies what SOURCE holds into DEST, SOURCE the folder itself.\n"
        "schedule saves a job that runs on the given weekdays at HH:MM (24-hour clock), replacing the\n"
        "         job of the same SOURCE and DEST; --keep N (default 99) keeps at most N snapshots.\n"
        "         --thin (with --snapshot) thins old snapshots out instead: all of the last H hours, then the\n"
        "         first of each of the last D days, W weeks and M months and of every year (24,31,8,12).\n"
        "prune    applies the job's rule for old snapshots now (or the --thin one given) and prints\n"
        "         \"keep\" or \"remove\", a tab and each snapshot's path; --dry-run removes nothing.\n"
        "list     prints the scheduled jobs: source, destination, days, type and time.\n"
        "status   prints each job (saved, or found in the run history): its last complete backup, its last\n"
        "         attempt, its next run, the snapshots it keeps and the destination's free space; exits 1\n"
        "         when a job is overdue or its last attempt failed.\n"
        "log      prints the run history, oldest first; -n N prints only the newest N runs.\n"
        "run-due  runs every scheduled job that is due and whose disks are present, one after another.\n"
        "\n"
        "Exit status: 0 done without errors (also when nothing was due), 1 failed or finished with errors\n"
        "(status: a job needs attention),\n"
        "2 bad usage, 130 stopped.\n");
}

namespace {

// The command word. Sets job.command; `complete` when nothing more is read.
QString readCommand(const QStringList &arguments, CliJob &job, bool &complete)
{
    complete = true;
    if (arguments.isEmpty())
        return QStringLiteral("missing command");
    const QString command = arguments.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        job.command = CliJob::Command::Help;
        return {};
    }
    if (command == u"list" || command == u"run-due" || command == u"status") {
        job.command = command == u"list" ? CliJob::Command::List
            : command == u"status"       ? CliJob::Command::Status
                                         : CliJob::Command::RunDue;
        return arguments.size() > 1 ? QStringLiteral("%1 takes no arguments").arg(command) : QString();
    }
    if (command == u"log") {
        job.command = CliJob::Command::Log;
        if (arguments.size() == 1)
            return {};
        bool ok = false;
        job.logLines = arguments.size() == 3 && arguments.at(1) == u"-n" ? arguments.at(2).toInt(&ok) : 0;
        return ok && job.logLines > 0 ? QString() : QStringLiteral("log takes only -n N, with N a positive number");
    }
    complete = false;
    if (command == u"backup")
        job.command = CliJob::Command::Backup;
    else if (command == u"restore")
        job.command = CliJob::Command::Restore;
    else if (command == u"schedule")
        job.command = CliJob::Command::Schedule;
    else if (command == u"prune")
        job.command = CliJob::Command::Prune;
    else
        return QStringLiteral("unknown command \"%1\"").arg(command);
    return {};
}

// An option that takes a value: --days, --at, --keep, --exclude.
QString readOptionValue(CliJob &job, const QString &option, const QString &value, const QString &workingDirectory)
{
    if (option == u"--days") {
        const std::optional<std::array<bool, 7>> days = parseDays(value);
        if (!days)
            return QStringLiteral("--days takes weekdays such as mon,wed,fri, not \"%1\"").arg(value);
        job.days = *days;
    } else if (option == u"--at") {
        job.time = QTime::fromString(value, QStringLiteral("H:mm"));
        if (!job.time.isValid())
            return QStringLiteral("--at takes a time such as 14:30, not \"%1\"").arg(value);
    } else if (option == u"--keep") {
        bool ok = false;
        const int keep = value.toInt(&ok);
        if (!ok || keep <= 0)
            return QStringLiteral("--keep takes a positive number, not \"%1\"").arg(value);
        job.snapshotsToKeep = keep;
        job.snapshotsToKeepGiven = true;
    } else {
        job.excludedFiles << QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(value));
    }
    return {};
}

// Options and paths after the command word; the paths go to `paths`.
QString readOptions(const QStringList &arguments, CliJob &job, QStringList &paths, const QString &workingDirectory)
{
    const bool takesJobOptions = job.command == CliJob::Command::Backup || job.command == CliJob::Command::Schedule;
    const bool isSchedule = job.command == CliJob::Command::Schedule;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(u"--") || argument == u"--") {
            if (argument == u"--" && !optionsEnded)
                optionsEnded = true;
            else
                paths << argument;
            continue;
        }
        if (argument == u"--help") {
            job.command = CliJob::Command::Help;
            return {};
        }
        const bool takesValue = (isSchedule && (argument == u"--days" || argument == u"--at"))
            || (takesJobOptions && (argument == u"--keep" || argument == u"--exclude"));
        if (argument == u"--thin" && (takesJobOptions || job.command == CliJob::Command::Prune)) {
            // The counts are optional: a next argument that reads as them is taken.
            const std::optional<ThinningPolicy> given
                = i + 1 < arguments.size() ? ThinningPolicy::fromText(arguments.at(i + 1)) : std::nullopt;
            if (!given && i + 1 < arguments.size() && arguments.at(i + 1).contains(u','))
                return QStringLiteral("--thin takes four counts H,D,W,M (H at least 1), not \"%1\"")
                    .arg(arguments.at(i + 1));
            job.thinning = given.value_or(ThinningPolicy());
            i += given ? 1 : 0;
        } else if (job.command == CliJob::Command::Prune && argument == u"--dry-run") {
            job.dryRun = true;
        } else if (takesJobOptions && argument == u"--snapshot") {
            job.snapshot = true;
        } else if (job.command == CliJob::Command::Backup && argument == u"--fast") {
            job.fast = true;
        } else if (!takesValue) {
            return QStringLiteral("unknown option %1").arg(argument);
        } else if (i + 1 >= arguments.size()) {
            return QStringLiteral("%1 needs a value").arg(argument);
        } else if (const QString error = readOptionValue(job, argument, arguments.at(++i), workingDirectory);
                   !error.isEmpty()) {
            return error;
        }
    }
    return {};
}

// How many paths each command takes, and what a schedule needs.
QString checkCounts(const CliJob &job, const QStringList &paths)
{
    if (job.command == CliJob::Command::Restore && paths.size() != 2)
        return QStringLiteral("restore takes exactly one SOURCE and one DEST");
    if (job.command == CliJob::Command::Schedule) {
        if (paths.size() != 2)
            return QStringLiteral("schedule takes exactly one SOURCE and one DEST");
        if (!job.time.isValid())
            return QStringLiteral("schedule needs --at HH:MM");
        if (std::none_of(job.days.cbegin(), job.days.cend(), [](bool day) { return day; }))
            return QStringLiteral("schedule needs --days");
    }
    if (job.fast && !job.snapshot)
        return QStringLiteral("--fast needs --snapshot");
    if (job.thinning && job.command != CliJob::Command::Prune && !job.snapshot)
        return QStringLiteral("--thin needs --snapshot");
    if (job.thinning && job.snapshotsToKeepGiven)
        return QStringLiteral("--thin and --keep are two rules; give one");
    if (job.command == CliJob::Command::Prune && paths.size() != 2)
        return QStringLiteral("prune takes exactly one SOURCE and one DEST");
    if (paths.size() < 2)
        return QStringLiteral("a SOURCE and a DEST are needed");
    if (paths.contains(QString()))
        return QStringLiteral("an empty path was given");
    return {};
}

// Sources that exist, a destination that is a folder (or does not exist yet).
QString readPaths(CliJob &job, QStringList paths, const QString &workingDirectory)
{
    job.destination = absolute(paths.takeLast(), workingDirectory);
    for (const QString &path : std::as_const(paths)) {
        const QString source = absolute(path, workingDirectory);
        if (!QFileInfo::exists(source))
            return QStringLiteral("the source %1 does not exist").arg(path);
        job.sources << source;
    }
    if (QFileInfo(job.destination).exists() && !QFileInfo(job.destination).isDir())
        return QStringLiteral("the destination %1 is not a folder").arg(job.destination);
    return SourceChecks::destinationRefusal(job.sources, job.destination, job.excludedFiles);
}

} // namespace

CliJob parseCommandLine(const QStringList &arguments, const QString &workingDirectory)
{
    CliJob job;
    bool complete = false;
    QStringList paths;
    job.error = readCommand(arguments, job, complete);
    if (complete || !job.error.isEmpty())
        return job;
    job.error = readOptions(arguments, job, paths, workingDirectory);
    if (!job.error.isEmpty() || job.command == CliJob::Command::Help)
        return job;
    job.error = checkCounts(job, paths);
    if (job.error.isEmpty())
        job.error = readPaths(job, paths, workingDirectory);
    return job;
}
