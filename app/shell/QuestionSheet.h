#pragma once

// A question as a window-modal sheet: one action button and "Cancel", which
// is the default, so Return never carries out the action. The sheet deletes
// itself once answered; `answered` hears whether the action was clicked.

#include <QMessageBox>
#include <QString>

#include <functional>

struct QuestionSheet
{
    QString objectName;
    QString text;
    QString informativeText;
    QString action;
    QMessageBox::ButtonRole actionRole = QMessageBox::AcceptRole;

    // Opens the sheet over `parent`; `answered` runs in `context`.
    QMessageBox *open(QWidget *parent, QObject *context, std::function<void(bool actionClicked)> answered) const;
};
