// The prompts of the main window: alerts as window-modal sheets, the restore
// choosers and the quit question.
#include "MainWindowView.h"

#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "QuestionSheet.h"
#include "SourceDestPickers.h"
#include "ThinningRoomOffer.h"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

void MainWindowView::showAlert(const QString &message, const QString &informativeText)
{
    auto *box
        = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vellumor"), message, QMessageBox::NoButton, &m_window);
    box->setObjectName(QStringLiteral("alert"));
    box->setInformativeText(informativeText);
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole)->setAccessibleName(QStringLiteral("OK"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // Queued: the box is hidden by then, so it no longer counts as open.
    connect(
        box, &QMessageBox::finished, this,
        [this] {
            if (m_terminateAfterAlerts)
                terminateAfterAlerts();
        },
        Qt::QueuedConnection);
    box->open();
}

void MainWindowView::deliverUserNotification(const QString &title, const QString &text)
{
    qInfo("%s: %s", qPrintable(title), qPrintable(text));
}

QString MainWindowView::chooseFolder(bool isSource, const QString &prompt, const QString &message)
{
    return m_pickers->chooseForRestore(isSource, prompt, message);
}

void MainWindowView::askToQuitDuringBackup(const QString &message, const QString &informativeText)
{
    if (m_quitQuestion)
        return; // asked once: the open question stands
    MFTaskAppDelegate *controller = m_controller;
    const QuestionSheet question{QStringLiteral("quitQuestion"), message, informativeText, QStringLiteral("Quit")};
    m_quitQuestion = question.open(&m_window, controller, [controller](bool quit) {
        // quitOrCancel:returnCode: 1000 is the first button.
        controller->quitOrCancel(quit ? 1000 : 1001);
    });
}

void MainWindowView::offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted)
{
    // Nothing goes without a deliberate click: Return keeps them.
    const QuestionSheet question{QStringLiteral("roomOffer"), offer.question(), offer.detail(),
                                 QStringLiteral("Remove Snapshots"), QMessageBox::DestructiveRole};
    question.open(&m_window, &m_window, [accepted = std::move(accepted)](bool remove) {
        if (remove)
            accepted();
    });
}

void MainWindowView::terminateAfterAlerts()
{
    const QList<QMessageBox *> boxes = m_window.findChildren<QMessageBox *>(QStringLiteral("alert"));
    const bool anyOpen
        = std::any_of(boxes.cbegin(), boxes.cend(), [](const QMessageBox *box) { return !box->isHidden(); });
    m_terminateAfterAlerts = anyOpen && m_alertsCanBeRead;
    if (!m_terminateAfterAlerts)
        terminateApplication();
}

void MainWindowView::terminateApplication()
{
    if (onTerminate)
        onTerminate();
}
