#include "WidgetControls.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

ProgressBarControl::ProgressBarControl(QProgressBar *bar) : m_bar(bar)
{
    m_bar->setRange(0, steps);
    m_bar->setValue(0);
}

void ProgressBarControl::setValue(double value)
{
    m_value = value;
    show();
}

void ProgressBarControl::setMaxValue(double maxValue)
{
    m_maxValue = maxValue;
    show();
}

void ProgressBarControl::setIndeterminate(bool indeterminate)
{
    m_indeterminate = indeterminate;
    show();
}

void ProgressBarControl::stopAnimation()
{
    // A bar left indeterminate would keep moving after its run ended.
    setIndeterminate(false);
}

void ProgressBarControl::show()
{
    if (m_indeterminate) {
        m_bar->setRange(0, 0);
        return;
    }
    m_bar->setRange(0, steps);
    const double fraction = m_maxValue > 0 ? std::clamp(m_value / m_maxValue, 0.0, 1.0) : 0.0;
    m_bar->setValue(int(std::lround(fraction * steps)));
}

void LabelField::setText(const QString &text)
{
    m_label->setText(text);
    m_label->setAccessibleDescription(text);
}

void MessageBoxAlertPresenter::runModalAlert(const QString &message, const QString &informativeText,
                                             const QString &buttonTitle)
{
    // Without a screen (started by the agent in a session without a display)
    // nobody could dismiss the alert, and a scheduled run would wait forever.
    if (QGuiApplication::platformName() == u"offscreen") {
        qWarning("%s: %s", qPrintable(message), qPrintable(informativeText));
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::NoButton, m_window);
    box.setInformativeText(informativeText);
    QPushButton *button = box.addButton(buttonTitle, QMessageBox::AcceptRole);
    button->setAccessibleName(buttonTitle);
    box.exec();
}
