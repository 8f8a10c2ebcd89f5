#pragma once

// The banners of a run: its start, its completion (clean, with errors, out
// of space) and a failure, delivered through the desktop notifier, or the
// view's own banner when there is none. A completion banner reveals the
// destination when clicked and plays the default sound.

#include <QString>

class MFTaskDelegate;
class PromptView;
class UserNotifier;

class RunAnnouncer
{
public:
    enum class Completion { Clean, WithErrors, OutOfSpace };

    RunAnnouncer(PromptView &view, UserNotifier *notifier) : m_view(view), m_notifier(notifier) {}

    void starting(const QString &destinationName);
    void failed(const QString &backupDest, const QString &detail);
    // Reads the run's observations from the output reader, announces them
    // and sets `detail` to the status a run that was not clean shows.
    Completion completed(const QString &backupDest, const MFTaskDelegate &reader, QString &detail);

private:
    void deliver(const QString &title, const QString &text, const QString &revealPath = QString());

    PromptView &m_view;
    UserNotifier *m_notifier;
};
