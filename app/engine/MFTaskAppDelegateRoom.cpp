// A backup refused for space, of a job that thins its snapshots out: the
// offer to remove the old snapshots its rule gives up, and their removal
// after the user's yes. The rest of the controller is in MFTaskAppDelegate.cpp.
#include "MFTaskAppDelegate.h"

#include "Clock.h"
#include "SharedSchedule.h"
#include "ThinningRoomOffer.h"

bool MFTaskAppDelegate::offerRoomFromThinning(const QString &refusal)
{
    if (!m_run)
        return false;
    const BackupRunRequest &request = m_run->request();
    if (request.modeRow != 1 || request.isRestore || !request.thinning || request.backupSources.isEmpty())
        return false;
    RoomOffer offer;
    offer.source = request.jobSourcePath.isEmpty() ? request.backupSources.constFirst() : request.jobSourcePath;
    offer.dest = request.jobDestPath.isEmpty() ? request.backupDest : request.jobDestPath;
    offer.refusal = refusal;
    offer.policy = *request.thinning;
    const QList<JobRecord> saved = m_services.schedule ? m_services.schedule->sharedParams() : QList<JobRecord>();
    offer.folders = ThinningRoomOffers::candidates(saved, offer.source, offer.dest, *request.thinning,
                                                   m_services.clock->now(), request.linkDest);
    if (offer.folders.isEmpty())
        return false;
    m_view->offerToMakeRoom(
        offer, [this, dest = offer.dest, folders = offer.folders] { removeSnapshotsForRoom(dest, folders); });
    return true;
}

void MFTaskAppDelegate::removeSnapshotsForRoom(const QString &dest, const QStringList &folders)
{
    if (isRunning())
        return;
    m_window.showStatus(QStringLiteral("Removing old snapshots…"));
    const SnapshotRemover remover(m_volumeTools.toolPath(QStringLiteral("dropcount")), *m_services.tasks);
    // The removal may take minutes on a large snapshot: on a worker, and
    // what it did is shown unless a new run has taken the status line.
    m_workers.start([this, dest, folders, remover, runId = quint64(m_runId)] {
        const QString status = ThinningRoomOffers::removeSnapshots(dest, folders, remover);
        postToMain([this, status, runId] {
            if (m_runId == runId && !isRunning())
                m_window.showStatus(status);
        });
    });
}
