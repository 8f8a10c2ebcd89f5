// The prompts of the main window: alerts as window-modal sheets, the restore
// choosers and the quit question.
#include "MainWindowView.h"

#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
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
    auto *box
        = new QMessageBox(QMessageBox::Question, QStringLiteral("Vellumor"), message, QMessageBox::NoButton, &m_window);
    box->setObjectName(QStringLiteral("quitQuestion"));
    box->setInformativeText(informativeText);
    QPushButton *quit = box->addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    quit->setAccessibleName(QStringLiteral("Quit"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    box->setDefaultButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    MFTaskAppDelegate *controller = m_controller;
    connect(box, &QMessageBox::finished, controller, [box, quit, controller] {
        // quitOrCancel:returnCode: 1000 is the first button.
        controller->quitOrCancel(box->clickedButton() == quit ? 1000 : 1001);
    });
    m_quitQuestion = box;
    box->open();
}

void MainWindowView::offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted)
{
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Vellumor"), offer.question(),
                                QMessageBox::NoButton, &m_window);
    box->setObjectName(QStringLiteral("roomOffer"));
    box->setInformativeText(offer.detail());
    QPushButton *remove = box->addButton(QStringLiteral("Remove Snapshots"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    remove->setAccessibleName(QStringLiteral("Remove Snapshots"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    // Nothing goes without a deliberate click: Return keeps them.
    box->setDefaultButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, &m_window, [box, remove, accepted = std::move(accepted)] {
        if (box->clickedButton() == remove)
            accepted();
    });
    box->open();
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
