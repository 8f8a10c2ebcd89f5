#include "DisclosureLayouts.h"

#include <QPushButton>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QSpacerItem *fixedSpacer(QVBoxLayout *layout)
{
    auto *spacer = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addSpacerItem(spacer);
    return spacer;
}

} // namespace

DisclosureLayouts::DisclosureLayouts(QVBoxLayout *layout, QToolButton *disclosureTriangle,
                                     QPushButton *schedulingTextButton, QWidget *schedulingView,
                                     QWidget *bottomHorizontalLine, QWidget *progressBar, QWidget *jobState,
                                     QObject *parent)
    : QObject(parent)
    , m_triangle(disclosureTriangle)
    , m_panel(schedulingView)
{
    m_triangle->setCheckable(true);
    m_triangleToPanel = fixedSpacer(layout);
    layout->addWidget(m_panel, 1);
    m_panelToLine = fixedSpacer(layout);
    layout->addWidget(bottomHorizontalLine);
    m_lineToProgress = fixedSpacer(layout);
    layout->addWidget(progressBar);
    m_progressToStatus = fixedSpacer(layout);
    layout->addWidget(jobState);
    connect(m_triangle, &QToolButton::clicked, this, &DisclosureLayouts::disclosureTriangleClicked);
    connect(schedulingTextButton, &QPushButton::clicked, this,
            &DisclosureLayouts::disclosureTriangleClicked_actuallyTheTextWasClicked);
    disclosureTriangleClicked();
}

bool DisclosureLayouts::isOpen() const
{
    return m_triangle->isChecked();
}

void DisclosureLayouts::disclosureTriangleClicked()
{
    QWidget *window = m_panel->window();
    const bool windowShown = window->isVisible() && !window->isMaximized() && !window->isFullScreen();
    if (isOpen()) {
        apply(disclosedConstraints, true);
        if (windowShown && m_openWindowHeight > window->height())
            window->resize(window->width(), m_openWindowHeight);
    } else {
        if (windowShown)
            m_openWindowHeight = window->height();
        apply(closedConstraints, false);
        if (windowShown) {
            window->layout()->activate();
            window->resize(window->width(), window->minimumSizeHint().height());
        }
    }
    const bool rightToLeft = m_triangle->layoutDirection() == Qt::RightToLeft;
    m_triangle->setArrowType(isOpen() ? Qt::DownArrow : rightToLeft ? Qt::LeftArrow : Qt::RightArrow);
    m_triangle->setAccessibleDescription(isOpen() ? QStringLiteral("open") : QStringLiteral("closed"));
    window->update();
}

void DisclosureLayouts::disclosureTriangleClicked_actuallyTheTextWasClicked()
{
    m_triangle->setChecked(!m_triangle->isChecked());
    disclosureTriangleClicked();
}

void DisclosureLayouts::apply(const Spacing &spacing, bool panelShown)
{
    m_triangleToPanel->changeSize(0, spacing.triangleToPanel, QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_panelToLine->changeSize(0, spacing.panelToLine, QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_lineToProgress->changeSize(0, spacing.lineToProgress, QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_progressToStatus->changeSize(0, spacing.progressToStatus, QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_panel->setVisible(panelShown);
    if (QLayout *layout = m_panel->parentWidget() ? m_panel->parentWidget()->layout() : nullptr)
        layout->invalidate();
}
