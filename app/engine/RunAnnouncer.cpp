#include "RunAnnouncer.h"

#include "CopyOutcome.h"
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

CopyOutcome RunAnnouncer::withSnapshotEnd(CopyOutcome copy, const QString &notCompleted, const QString &rotationFailure)
{
    if (!notCompleted.isEmpty() && copy.succeeded()) {
        copy.result = CopyResult::Failed;
        copy.cause = QStringLiteral("The snapshot was not completed (%1); the next run finishes it.").arg(notCompleted);
    }
    if (!rotationFailure.isEmpty()) {
        if (copy.succeeded()) {
            copy.result = CopyResult::CompletedWithErrors;
            copy.cause = rotationFailure;
        } else {
            copy.cause += u' ' + rotationFailure;
        }
        ++copy.errorCount;
    }
    return copy;
}

void RunAnnouncer::completed(const QString &backupDest, const CopyOutcome &outcome)
{
    // A run that did not succeed is nothing to reveal.
    deliver(CopyOutcomes::notificationTitle(outcome), CopyOutcomes::notificationText(outcome, backupDest),
            outcome.succeeded() ? backupDest : QString());
}
