#pragma once

// MFTaskDelegate reads the copy program's output and turns it into everything
// the user sees during a copy: item count and progress bar, the current file
// for the animated view, per-file percent and rate, a full destination, and
// the moment the copy has finished.
//
// What callers may rely on:
//  - chunks of standard output and standard error go through one reader with
//    one pending partial line; bytes are cut into lines before they are
//    decoded, so a UTF-8 character split between chunks arrives whole, and
//    invalid bytes become U+FFFD instead of stalling the reader;
//  - "\n" and "\r" end lines; whitespace before a line is skipped, and empty
//    lines are never parsed; a chunk ending in two spaces (an unfinished rsync
//    progress update) is taken as complete; any other cut, even just before
//    a space or a line break, yields the same lines as the uncut output;
//  - the first summary line of "--stats" (or an out-of-space message) starts
//    the finishing sequence: the bar is filled and no timer is started again;
//    later lines are only looked at for error messages (rsync prints its
//    "rsync error: ... (code 23)" line after the summary);
//  - the run's outcome is decided when the program has ended, from its exit
//    status and the lines seen (CopyOutcome): then the completion text is
//    shown ("Backup Complete." only for a success) and the local notification
//    "BackupComplete" is posted (synchronously; observers must not delete the
//    delegate directly, use deleteLater);
//  - after an out-of-space message the bound task is asked to end;
//  - once a task is bound (setCurrentTask), only its chunks and its end are
//    read; those of any other task are dropped;
//  - a chunk or an end handed over while a chunk is being read (for instance
//    while the out-of-space alert runs its modal loop) is read right after it,
//    in order, if its task is still the current one;
//  - error lines (rsync's messages, with or without the "rsync:" prefix),
//    the first and last of them,
//    and any "No space left on device" report are recorded per run (see
//    errorLineCount()), and cleared by resetForNew() or resetRunObservations();
//  - resetForNewRun() returns everything to the state of a fresh delegate
//    except the controls, so every run starts alike, queued runs included;
//  - everything runs on the main thread; no wall-clock time is read: the
//    timers only decide when statusUpdater() and noOutput() run.

#include "CopyOutcome.h"
#include "MFTask.h"
#include "ProgressControls.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>
#include <string>

class QTimer;
class QVariantAnimation;

class MFTaskDelegate : public QObject, public MFTaskDelegateProtocol
{
    Q_OBJECT
public:
    static constexpr int statusIntervalMs = 1000;
    static constexpr int noOutputIntervalMs = 10000;
    static constexpr int pulseDurationMs = 1100;

    explicit MFTaskDelegate(QObject *parent = nullptr);
    ~MFTaskDelegate() override;

    // MFTaskDelegateProtocol
    void taskDidRecieveData(const QByteArray &data, MFTask *task) override;
    void taskDidRecieveErrorData(const QByteArray &data, MFTask *task) override;
    void taskDidTerminate(MFTask *task) override;
    void taskDidRecieveInvalidate(MFTask *task) override;
    void taskDidLaunch(MFTask *task) override;

    // Classifies and applies one whole line (UTF-8 bytes, without its line
    // break); true means stop: the copy reached its summary or ran out of space.
    bool processWholeLineOfTaskOutput(QByteArrayView line);

    // Status reporting.
    void resetForNew();
    void statusUpdater();
    void animate();
    void handleNoOutputTimer();
    void noOutput();

    // Per-run observations for the controller. An error line is one where a
    // message of rsync begins ("rsync: ..." or "rsync error: ..."), at the
    // start of the line or glued onto an unfinished progress update; the texts
    // are the message from "rsync" on.
    int errorLineCount() const { return m_errorLineCount; }
    QString firstErrorLine() const { return m_firstErrorLine; }
    QString lastErrorLine() const { return m_lastErrorLine; }
    // True once any message reported "No space left on device" (blocks or
    // inodes exhausted), whether or not it raised the alert.
    bool sawOutOfSpace() const { return m_sawOutOfSpace; }
    void resetRunObservations();
    // Error lines that name a cause: every error line but rsync's generic
    // "rsync error: ... (code N)" lines.
    int causeLineCount() const { return m_causeLineCount; }
    QString firstCauseLine() const { return m_firstCauseLine; }
    bool sawSummary() const { return m_sawSummary; }
    CopyObservations observations() const;

    // The task whose output this reader reads; nullptr: none (everything is
    // dropped). Until the first call every chunk is read.
    void setCurrentTask(MFTask *task);
    MFTask *currentTask() const { return m_currentTask.data(); }
    // The copy program has ended: decides the outcome, shows the completion
    // text and posts "BackupComplete". taskDidTerminate calls it with the
    // bound task's status.
    void programDidEnd(const CopyTermination &termination);
    // The outcome of the run, once its program has ended.
    std::optional<CopyOutcome> copyOutcome() const { return m_copyOutcome; }
    // Everything back to a fresh delegate's state, the controls aside: called
    // at the start of every run.
    void resetForNewRun();

    // Controls (not owned).
    ProgressIndicator *progressBar() const { return m_progressBar; }
    void setProgressBar(ProgressIndicator *progressBar) { m_progressBar = progressBar; }
    TextField *jobState() const { return m_jobState; }
    void setJobState(TextField *jobState) { m_jobState = jobState; }
    TextField *displayText() const { return m_displayText; }
    void setDisplayText(TextField *displayText) { m_displayText = displayText; }
    TextView *outputView() const { return m_outputView; }
    void setOutputView(TextView *outputView) { m_outputView = outputView; }
    ImageView *fileIcon() const { return m_fileIcon; }
    void setFileIcon(ImageView *fileIcon) { m_fileIcon = fileIcon; }
    ShowableControl *duplicateOrHardlinks() const { return m_duplicateOrHardlinks; }
    void setDuplicateOrHardlinks(ShowableControl *control) { m_duplicateOrHardlinks = control; }
    TransferAnimationView *animatingView() const { return m_animatingView; }
    void setAnimatingView(TransferAnimationView *animatingView);
    AlertPresenter *alertPresenter() const { return m_alertPresenter; }
    void setAlertPresenter(AlertPresenter *alertPresenter) { m_alertPresenter = alertPresenter; }

    // What the controller shows outside the copy (removing an old snapshot,
    // the dry run, the end of a run) goes through the reader, so the reader
    // stays the one writer of its controls. Each does nothing without its
    // control.
    void showStatus(const QString &text)
    {
        if (m_jobState)
            m_jobState->setText(text);
    }
    void clearDisplayText()
    {
        if (m_displayText)
            m_displayText->setText(QString());
    }
    void setProgressIndeterminate(bool indeterminate)
    {
        if (m_progressBar)
            m_progressBar->setIndeterminate(indeterminate);
    }
    void stopProgressAnimation()
    {
        if (m_progressBar)
            m_progressBar->stopAnimation();
    }
    void resetProgress()
    {
        if (m_progressBar) {
            m_progressBar->setValue(0);
            m_progressBar->setMaxValue(0);
        }
    }
    void showIconInstances(TransferAnimationView::IconInstances instances)
    {
        if (m_animatingView)
            m_animatingView->setIconInstances(instances);
    }

    // Run settings.
    QString sourcePath() const { return m_sourcePath; }
    void setSourcePath(const QString &sourcePath);
    bool isFinderCopy() const { return m_isFinderCopy; }
    void setIsFinderCopy(bool isFinderCopy);
    quint64 myIndependentCounter() const { return m_myIndependentCounter; }
    void setMyIndependentCounter(quint64 counter) { m_myIndependentCounter = counter; }
    std::optional<qint64> totalFiles() const { return m_totalFiles; }
    void setTotalFiles(std::optional<qint64> totalFiles) { m_totalFiles = totalFiles; }
    std::optional<quint64> totalSize() const { return m_totalSize; }
    void setTotalSize(std::optional<quint64> totalSize) { m_totalSize = totalSize; }
    bool runAnimation() const { return m_runAnimation; }
    void setRunAnimation(bool runAnimation) { m_runAnimation = runAnimation; }

    // State, read by the controller and the tests.
    QString lastFullPath() const { return m_lastFullPath; }
    QString thePercent() const { return QString::fromStdString(m_thePercent); }
    QString dataTransferRate() const { return QString::fromStdString(m_dataTransferRate); }
    int beatsSinceValuesUpdate() const { return m_beatsSinceValuesUpdate; }
    quint64 lastMyIndependentCounter() const { return m_lastMyIndependentCounter; }
    // The items of the current (or last) run, kept when the window goes idle.
    quint64 itemsOfRun() const { return m_itemsOfRun; }
    bool isFinishingUp() const { return m_isFinishingUp; }
    // The pending partial line, as raw bytes.
    QByteArray remainder() const { return m_remainder; }
    const QTimer *statusUpdateTimer() const { return m_statusUpdateTimer; }
    const QTimer *noOutputTimer() const { return m_noOutputTimer; }
    const QVariantAnimation *pulseAnimation() const { return m_pulse; }

    // The texts of the finishing sequence and the out-of-space alert.
    static QString completionMarker() { return QStringLiteral("BackupComplete"); }

private:
    struct PendingEvent
    {
        QPointer<MFTask> task;
        bool hadTask = false;
        QByteArray chunk;
        bool isEnd = false;
    };

    bool isCurrent(MFTask *task, bool hadTask) const;
    void handOver(MFTask *task, const QByteArray &chunk, bool isEnd);
    void readPending(const PendingEvent &event);
    void readOneChunk(const QByteArray &chunk);
    void startStatusTimerIfNeeded();
    void runFinishingSequence();
    void handleItemLine(QByteArrayView line, bool isItem);
    void handleProgressLine(QByteArrayView line);
    void observeErrorLine(QByteArrayView line);
    bool isOutOfSpaceLine(QByteArrayView line) const;
    void showOutOfSpaceAlert();
    void setJobStateLater(const QString &text);
    // "Copied N of about M files (SIZE)".
    QString statusLine() const;
    void invalidateStatusTimer();

    // Controls.
    TextView *m_outputView = nullptr;
    ProgressIndicator *m_progressBar = nullptr;
    TextField *m_jobState = nullptr;
    TextField *m_displayText = nullptr;
    ImageView *m_fileIcon = nullptr;
    ShowableControl *m_duplicateOrHardlinks = nullptr;
    TransferAnimationView *m_animatingView = nullptr;
    AlertPresenter *m_alertPresenter = nullptr;

    // Progress state.
    int m_beatsSinceValuesUpdate = 0;
    std::optional<quint64> m_totalSize;
    std::optional<qint64> m_totalFiles;
    QByteArray m_remainder;
    QString m_lastFullPath;
    QTimer *m_statusUpdateTimer = nullptr;
    QTimer *m_noOutputTimer = nullptr;
    QVariantAnimation *m_pulse = nullptr;
    quint64 m_myIndependentCounter = 0;
    quint64 m_lastMyIndependentCounter = 0;
    quint64 m_itemsOfRun = 0;
    // The percent and rate fields of the last progress line, as printed (UTF-8).
    std::string m_thePercent;
    std::string m_dataTransferRate;
    bool m_isFinderCopy = false;
    bool m_isFinishingUp = false;
    bool m_runAnimation = false;
    QString m_sourcePath;
    // sourcePath without its last component, with a final "/": the front of
    // every composed item path (computed once per source).
    QString m_itemPathBase;

    // Reader re-entry guard.
    bool m_isReadingChunk = false;
    QList<PendingEvent> m_deferredEvents;

    // The task being read.
    bool m_isBound = false;
    QPointer<MFTask> m_currentTask;
    // Changes whenever the run being read changes.
    quint64 m_generation = 0;

    // Per-run observations.
    int m_errorLineCount = 0;
    QString m_firstErrorLine;
    QString m_lastErrorLine;
    int m_causeLineCount = 0;
    QString m_firstCauseLine;
    QString m_firstNoteLine;
    bool m_sawOutOfSpace = false;
    bool m_sawSummary = false;
    QString m_completionText;
    std::optional<CopyOutcome> m_copyOutcome;
};
