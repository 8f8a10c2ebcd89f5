#pragma once

// The options sheet: the copy program's arguments of the last run, one row
// each (the Argument list), and the link to the desktop's notification
// settings. Opened as a window-modal sheet by the options button.

#include "MFTask.h"

#include <QDialog>
#include <QList>
#include <QStringListModel>

class QListView;
class QPushButton;

class OptionsSheet final : public QDialog
{
    Q_OBJECT
public:
    explicit OptionsSheet(QWidget *window);

    void configButtonClicked() { open(); }
    // The sheet's closing button: ends the sheet with return code 1.
    void dismissSheet() { done(1); }
    // End handler: nothing to do.
    void myPanelDidEnd(int) {}

    void setArgumentRows(const QList<Argument> &rows);
    // The arguments as passed; the rows show tabs and line ends as \t, \n
    // and \r (and a backslash as \\).
    QStringList argumentValues() const { return m_values; }
    QStringList shownArguments() const { return m_arguments.stringList(); }
    QListView *argumentList() const { return m_list; }
    QPushButton *notificationSettingsButton() const { return m_notificationSettings; }

private:
    QStringList m_values;
    QStringListModel m_arguments;
    QListView *m_list;
    QPushButton *m_notificationSettings;
};
