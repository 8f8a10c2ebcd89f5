#pragma once

// The job's rule for old snapshots: "Keep the last N" (the count in the
// scheduling row) or "Thin out" with its four counts, and a preview of what
// the chosen rule keeps and removes among the job's snapshots now, by date,
// before anything is saved. Removal itself happens only after the job's next
// good run (or a prune from the terminal).

#include "SnapshotRotation.h"
#include "ThinningPolicy.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QRadioButton;
class QSpinBox;

class RetentionDialog final : public QDialog
{
    Q_OBJECT
public:
    // What the rule would do to the job's snapshots now.
    using Preview = std::function<QList<SnapshotRotation::PruneEntry>(const RetentionRule &)>;

    RetentionDialog(qint64 snapshotsToKeep, std::optional<ThinningPolicy> current, Preview preview,
                    QWidget *parent = nullptr);

    // The rule as chosen: a policy for "Thin out", none for "Keep the last N".
    std::optional<ThinningPolicy> chosenPolicy() const;

    QRadioButton *keepLastButton() const { return m_keepLast; }
    QRadioButton *thinOutButton() const { return m_thinOut; }
    QSpinBox *countBox(int index) const { return m_counts[index]; }
    QListWidget *previewList() const { return m_preview; }
    QLabel *summary() const { return m_summary; }

private:
    void refreshPreview();

    qint64 m_snapshotsToKeep;
    Preview m_previewOf;
    QRadioButton *m_keepLast;
    QRadioButton *m_thinOut;
    QSpinBox *m_counts[4];
    QListWidget *m_preview;
    QLabel *m_summary;
};
