#include "OptionsSheet.h"

#include "HelpLinks.h"

#include <QHBoxLayout>
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
            [this] { HelpLinks::configureNotificationsInSystemPreferencesClicked(this); });
    // The settings link on the left, the sheet's closing button on the right.
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_notificationSettings);
    buttons->addStretch(1);
    auto *done = new QPushButton(QStringLiteral("Done"), this);
    done->setAccessibleName(QStringLiteral("Done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &OptionsSheet::dismissSheet);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    connect(this, &QDialog::finished, this, &OptionsSheet::myPanelDidEnd);
}

void OptionsSheet::setArgumentRows(const QList<Argument> &rows)
{
    m_values.clear();
    QStringList shown;
    for (const Argument &row : rows) {
        m_values.append(row.value());
        // A tab or a line end inside one argument would show as two.
        QString text = row.value();
        text.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'\t', QStringLiteral("\\t"))
            .replace(u'\n', QStringLiteral("\\n"))
            .replace(u'\r', QStringLiteral("\\r"));
        shown.append(text);
    }
    m_arguments.setStringList(shown);
}
