#include "QuestionSheet.h"

#include <QPushButton>

QMessageBox *QuestionSheet::open(QWidget *parent, QObject *context,
                                 std::function<void(bool actionClicked)> answered) const
{
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Vellumor"), text, QMessageBox::NoButton, parent);
    box->setObjectName(objectName);
    box->setInformativeText(informativeText);
    QPushButton *actionButton = box->addButton(action, actionRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    actionButton->setAccessibleName(action);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    box->setDefaultButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, context, [box, actionButton, answered = std::move(answered)] {
        answered(box->clickedButton() == actionButton);
    });
    box->open();
    return box;
}
