#pragma once

// The controller's view for a terminal. On a terminal the status line and the
// transfer line (files/s, data/s) are redrawn in place on one line of
// standard output; otherwise each new status text is printed once, on its
// own line. Alerts and notifications go to standard error with their texts.
// The folder choosers answer the paths given on the command line.

#include "HeadlessScheduledJobView.h"
#include "MFTaskAppView.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <functional>

#include <cstdio>

class TerminalView : public HeadlessScheduledJobView<MFTaskAppView>, public ProgressIndicator, public AlertPresenter
{
public:
    TerminalView(std::FILE *out, std::FILE *err, bool interactive);

    void setModeRow(int row) { modeRow = row; }
    void setChooserAnswers(const QStringList &answers) { m_chooserAnswers = answers; }
    // Ends the in-place line so the next output starts on a fresh one.
    void finishLine();
    // After the run: later status texts are not printed.
    void close()
    {
        finishLine();
        m_closed = true;
    }
    // Before the next run of the same process (run-due).
    void reopen() { m_closed = false; }
    // Called when the controller asks the application to quit.
    std::function<void()> onTerminate;

    // MFTaskAppView
    QString startButtonTitle() const override { return m_startButtonTitle; }
    void setStartButtonTitle(const QString &title) override { m_startButtonTitle = title; }
    void setSourceButtonEnabled(bool) override {}
    void setDestButtonEnabled(bool) override {}
    void setOptionsButtonEnabled(bool) override {}
    void setHelpButtonVisible(bool) override {}
    void setModeChoiceVisible(bool) override {}
    void setDisplayTextVisible(bool) override {}
    void setProgressBarVisible(bool) override {}
    void startProgressAnimation() override {}
    void setArgumentRows(const QList<Argument> &rows) override;
    void setLinkDestText(const QString &) override {}
    void showAlert(const QString &message, const QString &informativeText) override;
    void deliverUserNotification(const QString &title, const QString &text) override;
    QString chooseFolder(bool isSource, const QString &prompt, const QString &message) override;
    void askToQuitDuringBackup(const QString &, const QString &) override {}
    void terminateApplication() override
    {
        if (onTerminate)
            onTerminate();
    }
    ProgressIndicator *progressBar() override { return this; }
    TextField *jobState() override { return &m_jobState; }
    TextField *displayText() override { return &m_displayText; }
    TransferAnimationView *animatingView() override { return nullptr; }
    AlertPresenter *alertPresenter() override { return this; }

    // ProgressIndicator
    double value() const override { return m_value; }
    void setValue(double value) override;
    double maxValue() const override { return m_maxValue; }
    void setMaxValue(double maxValue) override { m_maxValue = maxValue; }
    void setIndeterminate(bool) override {}
    void stopAnimation() override {}

    // AlertPresenter
    void runModalAlert(const QString &message, const QString &informativeText, const QString &) override;

    QString lastStatus() const { return m_status; }
    bool verbose = false;

private:
    class Field : public TextField
    {
    public:
        Field(TerminalView *view, bool isStatus) : m_view(view), m_isStatus(isStatus) {}
        void setText(const QString &text) override { m_view->textChanged(m_isStatus, text); }

    private:
        TerminalView *m_view;
        bool m_isStatus;
    };

    void textChanged(bool isStatus, const QString &text);
    void redraw();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_interactive;
    QString m_startButtonTitle = QStringLiteral("Backup");
    QStringList m_chooserAnswers;
    Field m_jobState{this, true};
    Field m_displayText{this, false};
    QString m_status;
    QString m_rates;
    double m_value = 0;
    double m_maxValue = 0;
    bool m_lineOpen = false;
    bool m_closed = false;
};
