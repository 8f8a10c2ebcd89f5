#include "CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace

QString usageText()
{
    return QStringLiteral(
        "usage: vellumor-cli backup [--snapshot] [--keep N] [--exclude PATH]... SOURCE... DEST\n"
        "       vellumor-cli restore SOURCE DEST\n"
        "       vellumor-cli --help\n"
        "\n"
        "backup   copies the SOURCE folders into DEST now: a mirror that deletes what is gone\n"
        "         (Sync), or with --snapshot a new dated snapshot folder in DEST;\n"
        "         --keep N keeps at most N snapshots; --exclude PATH skips PATH (inside the first SOURCE).\n"
        "restore  copies SOURCE back to DEST without deleting anything and without replacing newer files.\n"
        "\n"
        "Exit status: 0 done without errors, 1 failed or finished with errors, 2 bad usage, 130 stopped.\n");
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
    else
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));

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
        if (job.command == CliJob::Command::Backup && argument == u"--snapshot") {
            job.snapshot = true;
        } else if (job.command == CliJob::Command::Backup && (argument == u"--keep" || argument == u"--exclude")) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(argument));
            const QString value = arguments.at(++i);
            if (argument == u"--keep") {
                bool ok = false;
                const int keep = value.toInt(&ok);
                if (!ok || keep <= 0)
                    return fail(QStringLiteral("--keep takes a positive number, not \"%1\"").arg(value));
                job.snapshotsToKeep = keep;
            } else {
                job.excludedFiles << QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(value));
            }
        } else {
            return fail(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    if (job.command == CliJob::Command::Restore && paths.size() != 2)
        return fail(QStringLiteral("restore takes exactly one SOURCE and one DEST"));
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
