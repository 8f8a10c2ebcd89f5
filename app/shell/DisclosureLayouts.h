#pragma once

// The disclosure triangle of the scheduling panel and its two layouts. Open:
// triangle, 10 px, scheduling panel, 5 px, bottom line, 10 px, progress bar,
// 10 px, status line. Closed: triangle, 1 px, bottom line, 10 px, progress
// bar, 10 px, status line, the panel out of the window. Both spacing sets
// are built once and reused on every switch, so each state always looks
// the same; the window gives back or takes the panel's height.
// The label beside the triangle behaves exactly like the triangle.

#include <QObject>

class QPushButton;
class QSpacerItem;
class QToolButton;
class QVBoxLayout;
class QWidget;

class DisclosureLayouts final : public QObject
{
    Q_OBJECT
public:
    struct Spacing
    {
        int triangleToPanel;
        int panelToLine;
        int lineToProgress;
        int progressToStatus;
    };
    static constexpr Spacing disclosedConstraints{10, 5, 10, 10};
    static constexpr Spacing closedConstraints{1, 0, 10, 10};

    // Adds the chain below the triangle row to `layout`.
    DisclosureLayouts(QVBoxLayout *layout, QToolButton *disclosureTriangle, QPushButton *schedulingTextButton,
                      QWidget *schedulingView, QWidget *bottomHorizontalLine, QWidget *progressBar, QWidget *jobState,
                      QObject *parent = nullptr);

    bool isOpen() const;
    void disclosureTriangleClicked();
    void disclosureTriangleClicked_actuallyTheTextWasClicked();

private:
    void apply(const Spacing &spacing, bool panelShown);

    QToolButton *m_triangle;
    QWidget *m_panel;
    QSpacerItem *m_triangleToPanel;
    QSpacerItem *m_panelToLine;
    QSpacerItem *m_lineToProgress;
    QSpacerItem *m_progressToStatus;
    int m_openWindowHeight = 0;
};
