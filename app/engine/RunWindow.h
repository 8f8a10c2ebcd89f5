#pragma once

// The one place that moves the run view between idle and running, and that
// shows what a run does before and after its copy. The progress bar, the
// status field and the transfer animation are written through the output
// reader (MFTaskDelegate), which owns them during the copy.
//
// What callers may rely on: every method is called on the main thread;
// showIdle() and showRunning() each leave the same window state whatever
// the run went through.

#include <QString>
#include <QStringList>

#include <optional>

class BackupRunView;
class MFTaskDelegate;

class RunWindow
{
public:
    // Hands the view's progress controls to the reader.
    RunWindow(BackupRunView &view, MFTaskDelegate &reader);

    // Pickers and scheduling disabled, options, help and the mode
    // choice hidden, an indeterminate progress bar and the display text shown.
    void showRunning();
    // Every control back, the display text hidden and cleared, the
    // reader's counter, animation and busy progress bar stopped.
    void showIdle();
    // A run that ended without its summary or never started: idle, the
    // progress bar stopped and `detail` as the status.
    void showEnded(const QString &detail);

    // Before the copy: a status text and the progress bar's kind (either may
    // be left as it is).
    void showPreparation(std::optional<QString> status, std::optional<bool> indeterminate);
    // The link destination label: the folder's last name, " " for none.
    void showLinkDest(const QString &path);
    void showArguments(const QStringList &arguments);
    // The copy's source and form, and an empty progress bar.
    void prepareCopy(const QString &source, bool isFinderCopy);
    // The dry run measured the job: the bar counts towards it.
    void showCopyStarting(qint64 totalFiles, qint64 totalSize);
    // The dry run was stopped: the bar stops and the status is blank.
    void showDryRunStopped();
    void showStatus(const QString &text);

private:
    BackupRunView &m_view;
    MFTaskDelegate &m_reader;
};
