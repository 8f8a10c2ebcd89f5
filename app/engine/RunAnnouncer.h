#pragma once

// The banners of a run: its start, its end as the copy program's exit
// status decided it (clean, with a note, with errors, out of space, failed)
// and a copy program that could not start, delivered through the desktop notifier, or the
// view's own banner when there is none. A completion banner reveals the
// destination when clicked and plays the default sound.

#include <QString>

struct CopyOutcome;
class PromptView;
class UserNotifier;

class RunAnnouncer
{
public:
    RunAnnouncer(PromptView &view, UserNotifier *notifier) : m_view(view), m_notifier(notifier) {}

    void starting(const QString &destinationName);
    void failed(const QString &backupDest, const QString &detail);
    // A run that did not start (its sources or destination refused it).
    void refused(const QString &backupDest, const QString &detail);
    // The end of the copy program: "Operation Complete" only for a success;
    // runs with errors, out of space and failed runs have their own title.
    void completed(const QString &backupDest, const CopyOutcome &outcome);

    // A Snapshot run's copy outcome with what became of its snapshot: a copy
    // that ended well but did not become a snapshot (`notCompleted`) failed,
    // and an old snapshot that could not be removed (`rotationFailure`) is
    // an error of an otherwise good run.
    static CopyOutcome withSnapshotEnd(CopyOutcome copy, const QString &notCompleted, const QString &rotationFailure);

private:
    void deliver(const QString &title, const QString &text, const QString &revealPath = QString());

    PromptView &m_view;
    UserNotifier *m_notifier;
};
