// The run view of the main window: idle and running states, the copy
// program's arguments and the link destination.
#include "MainWindowView.h"

#include "MainWindow.h"
#include "OptionsSheet.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

void MainWindowView::setStartButtonTitle(const QString &title)
{
    outlets().startButton->setText(title);
    outlets().startButton->setAccessibleName(title);
}

int MainWindowView::selectedModeRow() const
{
    return outlets().snapshotRow->isChecked() ? 1 : 0;
}

void MainWindowView::setSourceButtonEnabled(bool enabled)
{
    outlets().sourceButton->setEnabled(enabled);
}

void MainWindowView::setDestButtonEnabled(bool enabled)
{
    outlets().destButton->setEnabled(enabled);
}

void MainWindowView::setOptionsButtonEnabled(bool enabled)
{
    outlets().optionsButton->setEnabled(enabled);
}

void MainWindowView::setHelpButtonVisible(bool visible)
{
    outlets().helpButton->setVisible(visible);
}

void MainWindowView::setModeChoiceVisible(bool visible)
{
    outlets().duplicateOrHardlinks->setVisible(visible);
}

void MainWindowView::setDisplayTextVisible(bool visible)
{
    outlets().displayText->setVisible(visible);
}

void MainWindowView::setProgressBarVisible(bool visible)
{
    outlets().progressBar->setVisible(visible);
}

void MainWindowView::setArgumentRows(const QList<Argument> &rows)
{
    m_options->setArgumentRows(rows);
}

void MainWindowView::setLinkDestText(const QString &text)
{
    QLabel *label = outlets().labelLinkDest;
    label->setText(text);
    label->setAccessibleDescription(text.trimmed());
}
