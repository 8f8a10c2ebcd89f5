#include "MainWindow.h"

#include "BundleLocation.h"
#include "DisclosureLayouts.h"
#include "FinderCopyLayout.h"
#include "SchedulingPanel.h"
#include "VolumeMenus.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLabel *label(const QString &accessibleName, QWidget *parent)
{
    auto *result = new QLabel(parent);
    result->setAccessibleName(accessibleName);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return result;
}

// What a run hides keeps its place (and the transfer line, shown during a
// run, has its place while idle): starting or ending a run moves nothing.
void keepPlaceWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Vellumor"));
    setObjectName(QStringLiteral("window"));
    setAccessibleName(QStringLiteral("Vellumor"));
    setWindowIcon(QIcon(vellumorPrefix() + QStringLiteral("/share/vellumor/vellumor.png")));
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(0);
    layout->addWidget(buildPickers(content));
    m_outlets.jobHealth = label(QStringLiteral("Backup status"), content);
    m_outlets.jobHealth->setObjectName(QStringLiteral("jobHealth"));
    m_outlets.jobHealth->setAlignment(Qt::AlignCenter);
    m_outlets.jobHealth->hide();
    layout->addSpacing(6);
    layout->addWidget(m_outlets.jobHealth);
    layout->addSpacing(10);
    layout->addWidget(buildControlsRow(content));
    layout->addSpacing(6);
    layout->addWidget(buildTransferBox(content));
    layout->addSpacing(8);
    buildDisclosure(layout, content);
    setCentralWidget(content);
    buildMenus();
    // The default size, within the screen's free area (its frame aside).
    QSize size(780, 720);
    if (const QScreen *shown = screen())
        size = size.boundedTo(shown->availableGeometry().size() - QSize(0, 40));
    resize(size);
}

QWidget *MainWindow::buildPickerColumn(bool source, QWidget *parent)
{
    auto *column = new QWidget(parent);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *popUp = new VolumePopUpButton(column);
    popUp->setAccessibleName(source ? QStringLiteral("Source volume") : QStringLiteral("Destination volume"));
    popUp->setObjectName(source ? QStringLiteral("popUpSourceList") : QStringLiteral("popUpDestList"));
    popUp->setMinimumWidth(200);
    auto *button = new QToolButton(column);
    button->setAccessibleName(source ? QStringLiteral("Choose Source") : QStringLiteral("Choose Destination"));
    button->setObjectName(source ? QStringLiteral("sourceButton") : QStringLiteral("destButton"));
    button->setIconSize(QSize(116, 116));
    button->setFixedSize(124, 124);
    button->setAutoRaise(true);
    button->setToolTip(source ? QStringLiteral("Choose the folder or volume to back up")
                              : QStringLiteral("Choose where the backup goes"));
    button->setIcon(QIcon::fromTheme(QStringLiteral("folder")));
    auto *name = label(source ? QStringLiteral("Source name") : QStringLiteral("Destination name"), column);
    name->setAlignment(Qt::AlignCenter);
    name->setText(source ? QStringLiteral("Choose a Source") : QStringLiteral("Choose a Destination"));
    name->setMaximumWidth(260);
    layout->addWidget(popUp, 0, Qt::AlignHCenter);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    (source ? m_outlets.popUpSourceList : m_outlets.popUpDestList) = popUp;
    (source ? m_outlets.sourceButton : m_outlets.destButton) = button;
    (source ? m_outlets.sourceName : m_outlets.destName) = name;
    return column;
}

QWidget *MainWindow::buildPickers(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildPickerColumn(true, row), 1);
    m_outlets.arrow = new QLabel(row);
    m_outlets.arrow->setObjectName(QStringLiteral("arrow"));
    m_outlets.arrow->setAccessibleName(QStringLiteral("copies to"));
    layout->addWidget(m_outlets.arrow, 0, Qt::AlignCenter);
    layout->addWidget(buildPickerColumn(false, row), 1);
    return row;
}

QWidget *MainWindow::buildControlsRow(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_outlets.duplicateOrHardlinks = new QWidget(row);
    m_outlets.duplicateOrHardlinks->setObjectName(QStringLiteral("duplicateOrHardlinks"));
    m_outlets.duplicateOrHardlinks->setAccessibleName(QStringLiteral("Mode"));
    auto *modes = new QHBoxLayout(m_outlets.duplicateOrHardlinks);
    modes->setContentsMargins(0, 0, 0, 0);
    m_outlets.syncRow = new QRadioButton(QStringLiteral("Sync"), m_outlets.duplicateOrHardlinks);
    m_outlets.snapshotRow = new QRadioButton(QStringLiteral("Snapshot"), m_outlets.duplicateOrHardlinks);
    m_outlets.syncRow->setAccessibleName(QStringLiteral("Sync"));
    m_outlets.snapshotRow->setAccessibleName(QStringLiteral("Snapshot"));
    m_outlets.modeRows = new QButtonGroup(row);
    m_outlets.modeRows->addButton(m_outlets.syncRow, 0);
    m_outlets.modeRows->addButton(m_outlets.snapshotRow, 1);
    m_outlets.syncRow->setChecked(true);
    modes->addWidget(m_outlets.syncRow);
    modes->addWidget(m_outlets.snapshotRow);
    keepPlaceWhenHidden(m_outlets.duplicateOrHardlinks);
    layout->addWidget(m_outlets.duplicateOrHardlinks);
    m_outlets.helpButton = new QToolButton(row);
    m_outlets.helpButton->setText(QStringLiteral("?"));
    m_outlets.helpButton->setAccessibleName(QStringLiteral("Help on snapshots"));
    m_outlets.helpButton->setToolTip(QStringLiteral("What Sync and Snapshot do"));
    keepPlaceWhenHidden(m_outlets.helpButton);
    layout->addWidget(m_outlets.helpButton);
    layout->addStretch(1);
    m_outlets.optionsButton = new QPushButton(QStringLiteral("Options..."), row);
    m_outlets.optionsButton->setAccessibleName(QStringLiteral("Options"));
    layout->addWidget(m_outlets.optionsButton);
    m_outlets.startButton = new QPushButton(QStringLiteral("Backup"), row);
    m_outlets.startButton->setObjectName(QStringLiteral("startButton"));
    m_outlets.startButton->setAccessibleName(QStringLiteral("Backup"));
    m_outlets.startButton->setDefault(true);
    m_outlets.startButton->setMinimumWidth(110);
    m_outlets.startButton->setEnabled(false);
    layout->addWidget(m_outlets.startButton);
    return row;
}

QWidget *MainWindow::buildTransferBox(QWidget *parent)
{
    m_outlets.box = new QGroupBox(parent);
    m_outlets.box->setObjectName(QStringLiteral("box"));
    m_outlets.box->setAccessibleName(QStringLiteral("Transfer"));
    auto *layout = new QVBoxLayout(m_outlets.box);
    m_outlets.labelLinkDest = label(QStringLiteral("Previous snapshot"), m_outlets.box);
    m_outlets.labelLinkDest->setToolTip(QStringLiteral("The previous snapshot that unchanged files are linked to"));
    m_outlets.labelLinkDest->setText(QStringLiteral(" "));
    layout->addWidget(m_outlets.labelLinkDest);
    m_outlets.transferArea = new QWidget(m_outlets.box);
    m_outlets.transferArea->setObjectName(QStringLiteral("animatingView"));
    m_outlets.transferArea->setMinimumHeight(72);
    auto *area = new QVBoxLayout(m_outlets.transferArea);
    area->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_outlets.transferArea, 1);
    m_outlets.displayText = label(QStringLiteral("Transfer rates"), m_outlets.box);
    m_outlets.displayText->setObjectName(QStringLiteral("displayText"));
    m_outlets.displayText->setAlignment(Qt::AlignCenter);
    keepPlaceWhenHidden(m_outlets.displayText);
    // Files and data per second: two lines.
    m_outlets.displayText->setMinimumHeight(m_outlets.displayText->fontMetrics().lineSpacing() * 2);
    m_outlets.displayText->hide();
    layout->addWidget(m_outlets.displayText);
    return m_outlets.box;
}

void MainWindow::buildDisclosure(QVBoxLayout *layout, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    m_outlets.disclosureTriangle = new QToolButton(parent);
    m_outlets.disclosureTriangle->setAccessibleName(QStringLiteral("Show scheduling"));
    m_outlets.disclosureTriangle->setAutoRaise(true);
    m_outlets.disclosureTriangle->setCheckable(true);
    m_outlets.disclosureTriangle->setChecked(true); // the panel starts open
    m_outlets.schedulingTextButton = new QPushButton(QStringLiteral("Scheduling and Exclusions"), parent);
    m_outlets.schedulingTextButton->setFlat(true);
    m_outlets.schedulingTextButton->setAccessibleName(QStringLiteral("Scheduling and Exclusions"));
    row->addWidget(m_outlets.disclosureTriangle);
    row->addWidget(m_outlets.schedulingTextButton);
    row->addStretch(1);
    layout->addLayout(row);
    m_outlets.schedulingView = new SchedulingPanel(parent);
    m_outlets.bottomHorizontalLine = new QFrame(parent);
    m_outlets.bottomHorizontalLine->setFrameShape(QFrame::HLine);
    m_outlets.bottomHorizontalLine->setFrameShadow(QFrame::Sunken);
    m_outlets.bottomHorizontalLine->setAccessibleName(QStringLiteral("separator"));
    m_outlets.progressBar = new QProgressBar(parent);
    m_outlets.progressBar->setTextVisible(false);
    m_outlets.progressBar->setAccessibleName(QStringLiteral("Progress"));
    m_outlets.jobState = label(QStringLiteral("Status"), parent);
    m_outlets.jobState->setObjectName(QStringLiteral("jobState"));
    m_outlets.jobState->setWordWrap(true);
    m_outlets.jobState->setMinimumHeight(m_outlets.jobState->fontMetrics().lineSpacing() * 2);
    m_outlets.jobState->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_outlets.disclosure = new DisclosureLayouts(layout, m_outlets.disclosureTriangle, m_outlets.schedulingTextButton,
                                                 m_outlets.schedulingView, m_outlets.bottomHorizontalLine,
                                                 m_outlets.progressBar, m_outlets.jobState, this);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Backup"));
    m_outlets.restoreAction = file->addAction(QStringLiteral("&Restore..."));
    m_outlets.stopAction = file->addAction(QStringLiteral("S&top Copy Program"));
    file->addSeparator();
    m_outlets.preferencesAction = file->addAction(QStringLiteral("&Preferences..."));
    m_outlets.preferencesAction->setShortcut(QKeySequence::Preferences);
    m_outlets.notificationSettingsAction = file->addAction(QStringLiteral("&Notification Settings..."));
    file->addSeparator();
    m_outlets.quitAction = file->addAction(QStringLiteral("&Quit"));
    m_outlets.quitAction->setShortcut(QKeySequence::Quit);
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_outlets.helpAction = help->addAction(QStringLiteral("Vellumor &Help"));
    m_outlets.helpAction->setShortcut(QKeySequence::HelpContents);
}

void MainWindow::setTransferView(QWidget *view)
{
    m_outlets.transferArea->layout()->addWidget(view);
}

void MainWindow::setUIForFinderCopy()
{
    // The compact layout is a collaborator of its own; it acts once.
    if (!findChild<FinderCopyLayout *>(QString(), Qt::FindDirectChildrenOnly))
        (new FinderCopyLayout(*this, m_outlets))->apply();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (shouldClose && !shouldClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
