#include "OptionsSheet.h"

#include "HelpLinks.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

OptionsSheet::OptionsSheet(QWidget *window) : QDialog(window)
{
    setWindowTitle(QStringLiteral("Options"));
    setObjectName(QStringLiteral("configSheet"));
    setAccessibleName(QStringLiteral("Options"));
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(QStringLiteral("Arguments passed to rsync in the last backup:"), this);
    layout->addWidget(caption);
    m_list = new QListView(this);
    m_list->setModel(&m_arguments);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAccessibleName(QStringLiteral("rsync arguments"));
    m_list->setMinimumSize(460, 220);
    caption->setBuddy(m_list);
    layout->addWidget(m_list, 1);
    m_notificationSettings = new QPushButton(QStringLiteral("Notification Settings..."), this);
    m_notificationSettings->setAccessibleName(QStringLiteral("Notification Settings"));
    connect(m_notificationSettings, &QPushButton::clicked, this,
            [] { HelpLinks::configureNotificationsInSystemPreferencesClicked(); });
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(m_notificationSettings, QDialogButtonBox::ActionRole);
    QPushButton *done = buttons->addButton(QStringLiteral("Done"), QDialogButtonBox::AcceptRole);
    done->setAccessibleName(QStringLiteral("Done"));
    connect(done, &QPushButton::clicked, this, &OptionsSheet::dismissSheet);
    layout->addWidget(buttons);
    connect(this, &QDialog::finished, this, &OptionsSheet::myPanelDidEnd);
}

void OptionsSheet::setArgumentRows(const QList<Argument> &rows)
{
    QStringList values;
    for (const Argument &row : rows)
        values.append(row.value());
    m_arguments.setStringList(values);
}
