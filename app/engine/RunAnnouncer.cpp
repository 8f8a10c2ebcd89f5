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

RunAnnouncer::Completion RunAnnouncer::completed(const QString &backupDest, const MFTaskDelegate &reader,
                                                 QString &detail)
{
    const int errors = reader.errorLineCount();
    const QString firstError = reader.firstErrorLine();
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
                     .arg(firstError);
        deliver(QStringLiteral("Operation Complete"),
                QStringLiteral("Finished transfer to %1 with %2 %3.\n%4")
                    .arg(backupDest)
                    .arg(errors)
                    .arg(errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                    .arg(firstError),
                backupDest);
        return Completion::WithErrors;
    }
    deliver(QStringLiteral("Operation Complete"),
            QStringLiteral("Finished transfer to %1\nClick this notification to view it.").arg(backupDest), backupDest);
    return Completion::Clean;
}
