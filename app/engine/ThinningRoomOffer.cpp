#include "ThinningRoomOffer.h"

#include "DestinationLock.h"
#include "PromptView.h"
#include "SnapshotFolders.h"

#include <QDir>

namespace {

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

QString RoomOffer::question() const
{
    return folders.size() == 1 ? QStringLiteral("Remove 1 old snapshot to make room?")
                               : QStringLiteral("Remove %1 old snapshots to make room?").arg(folders.size());
}

QString RoomOffer::detail() const
{
    QStringList names;
    for (const QString &folder : folders)
        names << SnapshotFolders::folderName(folder);
    return QStringLiteral("%1\nThe rule \"Thin out\" of this job gives up these snapshots; the newest one and the one "
                          "the next backup links against stay:\n%2")
        .arg(refusal, names.join(u'\n'));
}

QString RoomOffer::pruneCommand() const
{
    return QStringLiteral("vellumor-cli prune --thin %1 %2 %3")
        .arg(policy.toText(), shellQuoted(source), shellQuoted(dest));
}

// A front end that neither asks nor prints shows the refusal and the
// snapshots that could go.
void PromptView::offerToMakeRoom(const RoomOffer &offer, std::function<void()>)
{
    showAlert(QStringLiteral("Can't start backup"), offer.detail());
}

namespace ThinningRoomOffers {

QStringList candidates(const QList<JobRecord> &saved, const QString &source, const QString &dest,
                       const ThinningPolicy &policy, const QDateTime &now, const QString &linkDest)
{
    QStringList folders;
    const QList<SnapshotRotation::PruneEntry> plan
        = SnapshotRotation::prunePlanForJob(saved, source, dest, RetentionRule(0, policy), now);
    for (const SnapshotRotation::PruneEntry &entry : plan) {
        // The plan keeps the saved job's link destination; the run's own
        // is kept too, for a job not saved (yet).
        if (!entry.keep && !(!linkDest.isEmpty() && SnapshotFolders::samePath(entry.folder, linkDest)))
            folders << entry.folder;
    }
    return folders;
}

QString removeSnapshots(const QString &dest, const QStringList &folders, const SnapshotRemover &remover)
{
    DestinationLock lock;
    if (const std::optional<QString> refusal = lock.acquire(dest))
        return *refusal;
    RotationReport report;
    for (const QString &folder : folders)
        SnapshotRotation::retireSnapshot(folder, remover, {}, report);
    if (!report.failures.isEmpty())
        return report.failureText();
    return report.removed.size() == 1
        ? QStringLiteral("Removed 1 old snapshot. Start the backup again to use the room.")
        : QStringLiteral("Removed %1 old snapshots. Start the backup again to use the room.")
              .arg(report.removed.size());
}

} // namespace ThinningRoomOffers
