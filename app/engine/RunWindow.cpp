#include "RunWindow.h"

#include "BackupRunView.h"
#include "MFTaskDelegate.h"

RunWindow::RunWindow(BackupRunView &view, MFTaskDelegate &reader) : m_view(view), m_reader(reader)
{
    m_reader.setProgressBar(m_view.progressBar());
    m_reader.setJobState(m_view.jobState());
    m_reader.setDisplayText(m_view.displayText());
    m_reader.setAnimatingView(m_view.animatingView());
}

void RunWindow::showRunning()
{
    m_view.setSourceButtonEnabled(false);
    m_view.setDestButtonEnabled(false);
    m_view.setAddToScheduleButtonEnabled(false);
    m_reader.setProgressIndeterminate(true);
    m_view.startProgressAnimation();
    m_view.setProgressBarVisible(true);
    m_view.setOptionsButtonEnabled(false);
    m_view.setHelpButtonVisible(false);
    m_view.setModeChoiceVisible(false);
    m_view.setDisplayTextVisible(true);
}

void RunWindow::showIdle()
{
    m_view.setHelpButtonVisible(true);
    m_view.setOptionsButtonEnabled(true);
    m_view.setModeChoiceVisible(true);
    m_view.setDisplayTextVisible(false);
    m_reader.setMyIndependentCounter(0);
    m_reader.clearDisplayText();
    m_view.setSourceButtonEnabled(true);
    m_view.setDestButtonEnabled(true);
    m_view.setAddToScheduleButtonEnabled(true);
    m_reader.setRunAnimation(false);
    m_reader.showIconInstances(TransferAnimationView::IconInstances::None);
    // A run that ended before its dry run measured it (a missing volume, a
    // refusal, a stop) would leave the busy bar moving in the idle window.
    m_reader.stopProgressAnimation();
}

void RunWindow::showEnded(const QString &detail)
{
    showIdle();
    m_reader.showStatus(detail);
}

void RunWindow::showPreparation(std::optional<QString> status, std::optional<bool> indeterminate)
{
    if (indeterminate)
        m_reader.setProgressIndeterminate(*indeterminate);
    if (status)
        m_reader.showStatus(*status);
}

void RunWindow::showLinkDest(const QString &path)
{
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    m_view.setLinkDestText(path.isEmpty() ? QStringLiteral(" ") : parts.isEmpty() ? path : parts.last());
}

void RunWindow::showArguments(const QStringList &arguments)
{
    QList<Argument> rows;
    for (const QString &argument : arguments)
        rows.append(Argument(argument));
    m_view.setArgumentRows(rows);
}

void RunWindow::prepareCopy(const QString &source, bool isFinderCopy)
{
    m_reader.resetProgress();
    m_reader.setSourcePath(source);
    m_reader.setIsFinderCopy(isFinderCopy);
    m_reader.setMyIndependentCounter(0);
}

void RunWindow::showCopyStarting(qint64 totalFiles, qint64 totalSize)
{
    m_reader.showStatus(QString());
    m_reader.setProgressIndeterminate(false);
    m_reader.setTotalFiles(totalFiles);
    m_reader.setTotalSize(quint64(std::max<qint64>(totalSize, 0)));
    m_reader.showIconInstances(TransferAnimationView::IconInstances::Empty);
    m_reader.setRunAnimation(true);
}

void RunWindow::showDryRunStopped()
{
    m_reader.stopProgressAnimation();
    m_reader.showStatus(QStringLiteral(" "));
}

void RunWindow::showStatus(const QString &text)
{
    m_reader.showStatus(text);
}
