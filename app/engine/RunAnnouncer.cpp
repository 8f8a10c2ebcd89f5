#include "RunAnnouncer.h"

#include "MFTaskDelegate.h"
#include "PromptView.h"
#include "UserNotifications.h"

void RunAnnouncer::deliver(const QString &title, const QString &text, const QString &revealPath)
{
    if (!m_notifier) {
        m_view.deliverUserNotification(title, text);
        return;
    }
    UserNotification notification;
    notification.title = title;
    notification.text = text;
    if (!revealPath.isEmpty()) {
        // A click shows the finished backup; the default sound marks the end.
        notification.revealPath = revealPath;
        notification.playSound = true;
    }
    m_notifier->deliverNotification(notification);
}

void RunAnnouncer::starting(const QString &destinationName)
{
    deliver(QStringLiteral("Backup Starting"), QStringLiteral("Backup starting to %1").arg(destinationName));
}

void RunAnnouncer::failed(const QString &backupDest, const QString &detail)
{
    deliver(QStringLiteral("Backup Failed"),
            QStringLiteral("The backup to %1 did not finish.\n%2").arg(backupDest, detail));
}

void RunAnnouncer::refused(const QString &backupDest, const QString &detail)
{
    deliver(QStringLiteral("Backup Failed"),
            QStringLiteral("The backup to %1 did not start.\n%2").arg(backupDest, detail));
}

RunAnnouncer::Completion RunAnnouncer::completed(const QString &backupDest, const MFTaskDelegate &reader,
                                                 QString &detail, const SnapshotNote &snapshot)
{
    const int errors = reader.errorLineCount();
    const QString firstError = reader.firstErrorLine();
    // Kept for the job's next run, which completes it.
    const QString unfinished = snapshot.notCompleted.isEmpty()
        ? QString()
        : QStringLiteral(" The snapshot was not completed (%1); the next run finishes it.").arg(snapshot.notCompleted);
    // An old snapshot that stays is an error of an otherwise good run.
    const QString rotation = snapshot.rotationFailure.isEmpty() ? QString() : u'\n' + snapshot.rotationFailure;
    if (reader.sawOutOfSpace()) {
        detail = QStringLiteral("Out of drive space: the copy to %1 is incomplete.").arg(backupDest);
        deliver(QStringLiteral("Out of drive space"), detail, backupDest);
        return Completion::OutOfSpace;
    }
    if (errors > 0) {
        // rsync carried on past items it could not copy; the run is not clean.
        detail = (errors == 1 ? QStringLiteral("Finished with 1 error: %2")
                              : QStringLiteral("Finished with %1 errors, the first: %2"))
                     .arg(errors)
                     .arg(firstError)
            + unfinished;
        deliver(QStringLiteral("Operation Complete"),
                QStringLiteral("Finished transfer to %1 with %2 %3.\n%4%5%6")
                    .arg(backupDest)
                    .arg(errors)
                    .arg(errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                    .arg(firstError, unfinished, rotation),
                backupDest);
        if (!snapshot.rotationFailure.isEmpty())
            detail += u' ' + snapshot.rotationFailure;
        return Completion::WithErrors;
    }
    if (!unfinished.isEmpty()) {
        detail = unfinished.trimmed();
        failed(backupDest, detail);
        return Completion::NotCompleted;
    }
    if (!rotation.isEmpty()) {
        detail = snapshot.rotationFailure;
        deliver(QStringLiteral("Operation Complete"),
                QStringLiteral("Finished transfer to %1%2").arg(backupDest, rotation), backupDest);
        return Completion::WithErrors;
    }
    deliver(QStringLiteral("Operation Complete"),
            QStringLiteral("Finished transfer to %1\nClick this notification to view it.").arg(backupDest), backupDest);
    return Completion::Clean;
}
