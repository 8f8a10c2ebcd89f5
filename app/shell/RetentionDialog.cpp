#include "RetentionDialog.h"

#include "SnapshotFolders.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

struct CountField
{
    const char *label;
    const char *suffix;
    int maximum;
};

// Hours, days, ISO weeks, months: the policy's four counts in order.
const CountField countFields[4] = {
    {"Keep every snapshot of the last", " hours", 24 * 365},
    {"Then the first of each of the last", " days", 3650},
    {"The first of each of the last", " weeks", 520},
    {"The first of each of the last", " months", 1200},
};

} // namespace

RetentionDialog::RetentionDialog(qint64 snapshotsToKeep, std::optional<ThinningPolicy> current, Preview preview,
                                 QWidget *parent)
    : QDialog(parent)
    , m_snapshotsToKeep(snapshotsToKeep)
    , m_previewOf(std::move(preview))
{
    setWindowTitle(QStringLiteral("Old Snapshots"));
    setAccessibleName(QStringLiteral("Old snapshots"));
    auto *layout = new QVBoxLayout(this);
    m_keepLast = new QRadioButton(QStringLiteral("Keep the last %1 snapshots").arg(snapshotsToKeep), this);
    m_keepLast->setAccessibleName(QStringLiteral("Keep the last snapshots"));
    m_thinOut = new QRadioButton(QStringLiteral("Thin out"), this);
    m_thinOut->setAccessibleName(QStringLiteral("Thin out"));
    layout->addWidget(m_keepLast);
    layout->addWidget(m_thinOut);

    auto *form = new QFormLayout;
    const ThinningPolicy shown = current.value_or(ThinningPolicy());
    const int values[4] = {shown.hours, shown.days, shown.weeks, shown.months};
    for (int i = 0; i < 4; ++i) {
        auto *box = new QSpinBox(this);
        box->setRange(i == 0 ? 1 : 0, countFields[i].maximum);
        box->setValue(values[i]);
        box->setSuffix(QString::fromLatin1(countFields[i].suffix));
        box->setAccessibleName(QString::fromLatin1(countFields[i].label) + QString::fromLatin1(countFields[i].suffix));
        form->addRow(QString::fromLatin1(countFields[i].label), box);
        m_counts[i] = box;
        connect(box, &QSpinBox::valueChanged, this, &RetentionDialog::refreshPreview);
    }
    form->addRow(new QLabel(QStringLiteral("And the first snapshot of every year."), this));
    layout->addLayout(form);

    m_summary = new QLabel(this);
    m_summary->setAccessibleName(QStringLiteral("What the rule does"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_preview = new QListWidget(this);
    m_preview->setAccessibleName(QStringLiteral("Snapshots kept and removed"));
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_preview, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("Use this rule"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    (current ? m_thinOut : m_keepLast)->setChecked(true);
    connect(m_thinOut, &QRadioButton::toggled, this, &RetentionDialog::refreshPreview);
    refreshPreview();
    resize(520, 560);
}

std::optional<ThinningPolicy> RetentionDialog::chosenPolicy() const
{
    if (!m_thinOut->isChecked())
        return std::nullopt;
    return ThinningPolicy{m_counts[0]->value(), m_counts[1]->value(), m_counts[2]->value(), m_counts[3]->value()};
}

void RetentionDialog::refreshPreview()
{
    for (QSpinBox *box : m_counts)
        box->setEnabled(m_thinOut->isChecked());
    const QList<SnapshotRotation::PruneEntry> plan = m_previewOf
        ? m_previewOf(RetentionRule(m_snapshotsToKeep, chosenPolicy()))
        : QList<SnapshotRotation::PruneEntry>();
    m_preview->clear();
    qsizetype removed = 0;
    // Newest first: what a user looks for first.
    for (auto it = plan.crbegin(); it != plan.crend(); ++it) {
        const QString name = SnapshotFolders::folderName(it->folder);
        const std::optional<QDateTime> date = SnapshotFolders::snapshotDate(name);
        const QString when = date ? QLocale().toString(*date, QStringLiteral("ddd d MMM yyyy, HH:mm")) : name;
        auto *item
            = new QListWidgetItem((it->keep ? QStringLiteral("Keep\t") : QStringLiteral("Remove\t")) + when, m_preview);
        item->setToolTip(it->folder);
        if (!it->keep) {
            ++removed;
            item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    if (plan.isEmpty())
        m_summary->setText(QStringLiteral("The job has no snapshots on its destination yet."));
    else
        m_summary->setText(QStringLiteral("Of %1 snapshots, %2 would be removed after the next good backup.")
                               .arg(plan.size())
                               .arg(removed));
}
