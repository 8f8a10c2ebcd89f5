#pragma once

// The progress controls the output reader writes, over real widgets: the
// progress bar (values as doubles on a bar of whole steps), a label as a text
// field, and modal message boxes for the alerts the reader raises.
// What callers may rely on: the widgets outlive these adapters (the window
// owns both); every call is made on the main thread.

#include "ProgressControls.h"

#include <QPointer>

class QLabel;
class QProgressBar;
class QWidget;

class ProgressBarControl final : public ProgressIndicator
{
public:
    // Steps on the widget's bar: enough for a smooth bar at any width.
    static constexpr int steps = 1000;

    explicit ProgressBarControl(QProgressBar *bar);

    double value() const override { return m_value; }
    void setValue(double value) override;
    double maxValue() const override { return m_maxValue; }
    void setMaxValue(double maxValue) override;
    void setIndeterminate(bool indeterminate) override;
    void stopAnimation() override;

    bool isIndeterminate() const { return m_indeterminate; }

private:
    void show();

    QProgressBar *m_bar;
    double m_value = 0;
    double m_maxValue = 0;
    bool m_indeterminate = false;
};

class LabelField final : public TextField
{
public:
    explicit LabelField(QLabel *label) : m_label(label) {}
    void setText(const QString &text) override;

private:
    QLabel *m_label;
};

// On the offscreen platform (no display) the alert is logged instead.
class MessageBoxAlertPresenter final : public AlertPresenter
{
public:
    explicit MessageBoxAlertPresenter(QWidget *window) : m_window(window) {}
    void runModalAlert(const QString &message, const QString &informativeText, const QString &buttonTitle) override;

private:
    QPointer<QWidget> m_window;
};
