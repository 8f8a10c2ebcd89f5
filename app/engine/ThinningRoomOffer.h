#pragma once

// When a job that thins its snapshots out is refused for space: the old
// snapshots its rule would give up anyway, the question that offers to
// remove them, and their removal after the user's yes.
//
// What callers may rely on: the candidates never include the job's newest
// complete snapshot or its link destination, and nothing is removed but
// through removeSnapshots(), which holds the destination's lock and takes
// each folder the safe way (renamed, then removed).

#include "JobRecord.h"
#include "SnapshotRotation.h"
#include "ThinningPolicy.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What a front end shows: the refusal, the folders that would go, and the
// terminal's way to the same removal.
struct RoomOffer
{
    QString source;
    QString dest;
    QString refusal;     // why the run did not start
    QStringList folders; // oldest first
    ThinningPolicy policy;
    QString question() const;
    QString detail() const;
    // "vellumor-cli prune --thin H,D,W,M 'SOURCE' 'DEST'", quoted for a
    // shell; the rule is given, so it also serves a job not saved.
    QString pruneCommand() const;
};

namespace ThinningRoomOffers {

// The job's complete snapshots that `policy` gives up at `now`, oldest first.
QStringList candidates(const QList<JobRecord> &saved, const QString &source, const QString &dest,
                       const ThinningPolicy &policy, const QDateTime &now, const QString &linkDest);

// Removes `folders` from `dest` under its lock: the status to show.
QString removeSnapshots(const QString &dest, const QStringList &folders, const SnapshotRemover &remover);

} // namespace ThinningRoomOffers
