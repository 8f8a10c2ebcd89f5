#include "PreferencesSheet.h"

#include "SharedDefaults.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QCheckBox *checkBox(const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setAccessibleName(text);
    return box;
}

} // namespace

PreferencesSheet::PreferencesSheet(QWidget *window) : QDialog(window)
{
    setWindowTitle(QStringLiteral("Preferences"));
    setObjectName(QStringLiteral("preferencesSheet"));
    setAccessibleName(QStringLiteral("Preferences"));
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    m_waitForPowerToBackup
        = checkBox(QStringLiteral("Run scheduled backups only while the computer is on external power"), this);
    m_protectRoot = checkBox(QStringLiteral("Protect the items at the top of the destination from deletion"), this);
    m_showAnimation = checkBox(QStringLiteral("Show the files being copied as an animation"), this);
    for (QCheckBox *box : {m_waitForPowerToBackup, m_protectRoot, m_showAnimation})
        layout->addWidget(box);
    m_fastSnapshots = checkBox(QStringLiteral("Fast snapshots"), this);
    layout->addWidget(m_fastSnapshots);
    auto *explanation
        = new QLabel(QStringLiteral("Make each snapshot by cloning the last one and copying only the changes."), this);
    explanation->setAccessibleName(QStringLiteral("Fast snapshots explanation"));
    explanation->setIndent(24);
    layout->addWidget(explanation);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesSheet::dismissPreferencesSheet);
    layout->addWidget(buttons);
    connect(this, &QDialog::finished, this, &PreferencesSheet::preferencesPanelDidEnd);
}

PreferencesSheet::Values PreferencesSheet::normaliseDefaults()
{
    const std::unique_ptr<QSettings> defaults = getUserDefaults();
    const Values values{SharedDefaults::waitForPowerToBackup(*defaults), SharedDefaults::protectRoot(*defaults),
                        SharedDefaults::showAnimation(*defaults)};
    defaults->setValue(DefaultsKey::waitForPowerToBackup, values.waitForPowerToBackup);
    defaults->setValue(DefaultsKey::protectRoot, values.protectRoot);
    defaults->setValue(DefaultsKey::showAnimation, values.showAnimation);
    defaults->sync();
    return values;
}

void PreferencesSheet::preferencesSelected()
{
    const Values values = normaliseDefaults();
    m_waitForPowerToBackup->setChecked(values.waitForPowerToBackup);
    m_protectRoot->setChecked(values.protectRoot);
    m_showAnimation->setChecked(values.showAnimation);
    m_fastSnapshots->setChecked(SharedDefaults::fastSnapshots(*getUserDefaults()));
    open();
}

void PreferencesSheet::dismissPreferencesSheet()
{
    const std::unique_ptr<QSettings> defaults = getUserDefaults();
    defaults->setValue(DefaultsKey::waitForPowerToBackup, m_waitForPowerToBackup->isChecked());
    defaults->setValue(DefaultsKey::protectRoot, m_protectRoot->isChecked());
    defaults->setValue(DefaultsKey::showAnimation, m_showAnimation->isChecked());
    defaults->setValue(DefaultsKey::fastSnapshots, m_fastSnapshots->isChecked());
    defaults->sync();
    done(1);
}

void PreferencesSheet::preferencesPanelDidEnd(int)
{}
