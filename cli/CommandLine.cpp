#include "CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace {

QString absolute(const QString &path, const QString &workingDirectory)
{
    const QString clean = QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(path));
    // "/" and "x/" mean "the contents of"; keep the trailing "/" rsync reads.
    return (path.endsWith(u'/') && clean != u"/") ? clean + u'/' : clean;
}

// The real location of a path that may not exist yet: its nearest existing
// ancestor with links resolved, plus the rest.
QString realLocation(const QString &path, dev_t *device)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!QFileInfo::exists(existing) && existing != u"/") {
        rest = u'/' + QFileInfo(existing).fileName() + rest;
        existing = QFileInfo(existing).path();
    }
    struct stat status;
    if (device && ::stat(QFile::encodeName(existing).constData(), &status) == 0)
        *device = status.st_dev;
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool isInside(const QString &path, const QString &folder)
{
    return path == folder || folder == u"/" || path.startsWith(folder + u'/');
}

QString checkDestination(const QStringList &sources, const QString &destination)
{
    dev_t destinationDevice = 0;
    const QString dest = realLocation(destination, &destinationDevice);
    for (const QString &source : sources) {
        dev_t sourceDevice = 0;
        const QString real = realLocation(source, &sourceDevice);
        // rsync -x stops at other file systems, so "/" to a mounted disk is fine.
        if (isInside(dest, real) && destinationDevice == sourceDevice)
            return QStringLiteral("the destination %1 is inside the source %2: the copy would copy itself")
                .arg(destination, source);
        // A folder copied without "/" lands in DEST/<name>.
        if (!source.endsWith(u'/') && QDir::cleanPath(dest + u'/' + QFileInfo(real).fileName()) == real)
            return QStringLiteral("copying %1 into %2 would write over the source itself").arg(source, destination);
    }
    return {};
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
        "usage: vellumor-cli backup [--snapshot] [--keep N] [--exclude PATH]... SOURCE... DEST\n"
        "       vellumor-cli restore SOURCE DEST\n"
        "       vellumor-cli schedule [--snapshot] [--keep N] [--exclude PATH]... --days mon,tue,... --at HH:MM "
        "SOURCE DEST\n"
        "       vellumor-cli list\n"
        "       vellumor-cli run-due\n"
        "       vellumor-cli --help\n"
        "\n"
        "backup   copies the SOURCE folders into DEST now: a mirror that deletes what is gone\n"
        "         (Sync), or with --snapshot a new dated snapshot folder in DEST;\n"
        "         --keep N keeps at most N snapshots; --exclude PATH skips PATH (inside the first SOURCE).\n"
        "         A Snapshot backup saves its job in the schedule, so the next one links against it.\n"
        "restore  copies SOURCE back to DEST without deleting anything and without replacing newer files.\n"
        "schedule saves a job that runs on the given weekdays at HH:MM (24-hour clock), replacing the\n"
        "         job of the same SOURCE and DEST; --keep N (default 99) keeps at most N snapshots.\n"
        "list     prints the scheduled jobs: source, destination, days, type and time.\n"
        "run-due  runs every scheduled job that is due and whose disks are present, one after another.\n"
        "\n"
        "Exit status: 0 done without errors (also when nothing was due), 1 failed or finished with errors,\n"
        "2 bad usage, 130 stopped.\n");
}

CliJob parseCommandLine(const QStringList &arguments, const QString &workingDirectory)
{
    CliJob job;
    auto fail = [&job](const QString &message) {
        job.error = message;
        return job;
    };
    if (arguments.isEmpty())
        return fail(QStringLiteral("missing command"));
    const QString command = arguments.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        job.command = CliJob::Command::Help;
        return job;
    }
    if (command == u"backup")
        job.command = CliJob::Command::Backup;
    else if (command == u"restore")
        job.command = CliJob::Command::Restore;
    else if (command == u"schedule")
        job.command = CliJob::Command::Schedule;
    else if (command == u"list" || command == u"run-due") {
        job.command = command == u"list" ? CliJob::Command::List : CliJob::Command::RunDue;
        if (arguments.size() > 1)
            return fail(QStringLiteral("%1 takes no arguments").arg(command));
        return job;
    } else
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));
    const bool takesJobOptions = job.command == CliJob::Command::Backup || job.command == CliJob::Command::Schedule;

    QStringList paths;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(u"--") || argument == u"--") {
            if (argument == u"--" && !optionsEnded) {
                optionsEnded = true;
                continue;
            }
            paths << argument;
            continue;
        }
        if (argument == u"--help") {
            job.command = CliJob::Command::Help;
            return job;
        }
        if (takesJobOptions && argument == u"--snapshot") {
            job.snapshot = true;
        } else if (job.command == CliJob::Command::Schedule && (argument == u"--days" || argument == u"--at")) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(argument));
            const QString value = arguments.at(++i);
            if (argument == u"--days") {
                const std::optional<std::array<bool, 7>> days = parseDays(value);
                if (!days)
                    return fail(QStringLiteral("--days takes weekdays such as mon,wed,fri, not \"%1\"").arg(value));
                job.days = *days;
            } else {
                job.time = QTime::fromString(value, QStringLiteral("H:mm"));
                if (!job.time.isValid())
                    return fail(QStringLiteral("--at takes a time such as 14:30, not \"%1\"").arg(value));
            }
        } else if (takesJobOptions && (argument == u"--keep" || argument == u"--exclude")) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(argument));
            const QString value = arguments.at(++i);
            if (argument == u"--keep") {
                bool ok = false;
                const int keep = value.toInt(&ok);
                if (!ok || keep <= 0)
                    return fail(QStringLiteral("--keep takes a positive number, not \"%1\"").arg(value));
                job.snapshotsToKeep = keep;
                job.snapshotsToKeepGiven = true;
            } else {
                job.excludedFiles << QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(value));
            }
        } else {
            return fail(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    if (job.command == CliJob::Command::Restore && paths.size() != 2)
        return fail(QStringLiteral("restore takes exactly one SOURCE and one DEST"));
    if (job.command == CliJob::Command::Schedule) {
        if (paths.size() != 2)
            return fail(QStringLiteral("schedule takes exactly one SOURCE and one DEST"));
        if (!job.time.isValid())
            return fail(QStringLiteral("schedule needs --at HH:MM"));
        if (std::none_of(job.days.cbegin(), job.days.cend(), [](bool day) { return day; }))
            return fail(QStringLiteral("schedule needs --days"));
    }
    if (paths.size() < 2)
        return fail(QStringLiteral("a SOURCE and a DEST are needed"));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (paths.at(i).isEmpty())
            return fail(QStringLiteral("an empty path was given"));
    }

    job.destination = absolute(paths.takeLast(), workingDirectory);
    for (const QString &path : paths) {
        const QString source = absolute(path, workingDirectory);
        if (!QFileInfo::exists(source))
            return fail(QStringLiteral("the source %1 does not exist").arg(path));
        job.sources << source;
    }
    if (QFileInfo(job.destination).exists() && !QFileInfo(job.destination).isDir())
        return fail(QStringLiteral("the destination %1 is not a folder").arg(job.destination));
    if (const QString problem = checkDestination(job.sources, job.destination); !problem.isEmpty())
        return fail(problem);
    return job;
}
