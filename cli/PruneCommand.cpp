#include "PruneCommand.h"

#include "Clock.h"
#include "DestinationLock.h"
#include "JobLoader.h"
#include "ScheduleCommands.h"
#include "SnapshotFolders.h"
#include "SnapshotRotation.h"
#include "VolumeTools.h"

#include <QDir>

#include <cstdio>

int pruneJob(const CliJob &job)
{
    const QString &source = job.sources.constFirst();
    const QString &dest = job.destination;
    const std::unique_ptr<SharedSchedule> schedule = loadSchedule();
    const JobRecord *record = schedule->matchingDictionaryForSourceAndDestExists(source, dest);
    if (!record && !job.thinning) {
        std::fprintf(stderr, "vellumor-cli: no job of %s to %s is saved; give --thin to prune by that rule\n",
                     qPrintable(source), qPrintable(dest));
        return 1;
    }
    const RetentionRule rule = job.thinning
        ? RetentionRule(0, job.thinning)
        : RetentionRule(JobLoader::loadedJobFromRecord(*record).snapshotLimit, JobRecords::thinning(*record));
    // No run may write into the destination meanwhile.
    DestinationLock lock;
    if (!job.dryRun) {
        if (const std::optional<QString> refusal = lock.acquire(dest)) {
            std::fprintf(stderr, "vellumor-cli: %s\n", qPrintable(*refusal));
            return 1;
        }
    }
    const QList<SnapshotRotation::PruneEntry> plan
        = SnapshotRotation::prunePlanForJob(schedule->sharedParams(), source, dest, rule, Clock::system().now());
    for (const SnapshotRotation::PruneEntry &entry : plan)
        std::printf("%s\t%s\n", entry.keep ? "keep" : "remove", qPrintable(QDir::cleanPath(entry.folder)));
    std::fflush(stdout);
    if (job.dryRun)
        return 0;
    const SnapshotRemover remover(VolumeTools().toolPath(QStringLiteral("dropcount")));
    RotationReport report;
    for (const SnapshotRotation::PruneEntry &entry : plan) {
        if (!entry.keep)
            SnapshotRotation::retireSnapshot(entry.folder, remover, {}, report);
    }
    if (!report.failures.isEmpty()) {
        std::fprintf(stderr, "vellumor-cli: %s\n", qPrintable(report.failureText()));
        return 1;
    }
    return 0;
}
