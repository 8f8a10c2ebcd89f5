#pragma once

// A view that records what the controller shows, for the controller tests.
#include "HeadlessScheduledJobView.h"
#include "MFTaskAppView.h"

#include <QStringList>
#include <QTime>

#include <array>

class RecordingView : public HeadlessScheduledJobView<MFTaskAppView>, public ProgressIndicator, public AlertPresenter
{
public:
    struct Alert
    {
        QString message;
        QString informativeText;
    };

    QString title = QStringLiteral("Backup");
    QStringList chooserAnswers;
    QList<Alert> alerts;
    QList<Alert> notifications;
    QList<Argument> rows;
    QStringList statusTexts;
    QString linkDestText;
    int terminateRequests = 0;
    int quitQuestions = 0;
    bool displayTextVisible = false;
    bool modeChoiceVisible = true;

    RecordingView() = default;
    RecordingView(const RecordingView &) = delete;
    RecordingView &operator=(const RecordingView &) = delete;
    // Back to a fresh, idle window.
    void reset()
    {
        title = QStringLiteral("Backup");
        modeRow = 0;
        chooserAnswers.clear();
        alerts.clear();
        notifications.clear();
        rows.clear();
        statusTexts.clear();
        linkDestText.clear();
        terminateRequests = quitQuestions = 0;
    }

    QString startButtonTitle() const override { return title; }
    void setStartButtonTitle(const QString &t) override { title = t; }
    void setSourceButtonEnabled(bool) override {}
    void setDestButtonEnabled(bool) override {}
    void setOptionsButtonEnabled(bool) override {}
    void setHelpButtonVisible(bool) override {}
    void setModeChoiceVisible(bool visible) override { modeChoiceVisible = visible; }
    void setDisplayTextVisible(bool visible) override { displayTextVisible = visible; }
    void setProgressBarVisible(bool) override {}
    void startProgressAnimation() override {}
    void setArgumentRows(const QList<Argument> &r) override { rows = r; }
    void setLinkDestText(const QString &text) override { linkDestText = text; }
    void showAlert(const QString &m, const QString &i) override { alerts.append({m, i}); }
    void deliverUserNotification(const QString &t, const QString &x) override { notifications.append({t, x}); }
    QString chooseFolder(bool, const QString &, const QString &) override
    {
        return chooserAnswers.isEmpty() ? QString() : chooserAnswers.takeFirst();
    }
    void askToQuitDuringBackup(const QString &, const QString &) override { ++quitQuestions; }
    void terminateApplication() override { ++terminateRequests; }
    ProgressIndicator *progressBar() override { return this; }
    TextField *jobState() override { return &m_status; }
    TextField *displayText() override { return &m_display; }
    TransferAnimationView *animatingView() override { return nullptr; }
    AlertPresenter *alertPresenter() override { return this; }

    double value() const override { return m_value; }
    void setValue(double v) override { m_value = v; }
    double maxValue() const override { return m_max; }
    void setMaxValue(double v) override { m_max = v; }
    void setIndeterminate(bool) override {}
    void stopAnimation() override {}
    void runModalAlert(const QString &m, const QString &i, const QString &) override { alerts.append({m, i}); }

private:
    class Field : public TextField
    {
    public:
        explicit Field(QStringList *log) : m_log(log) {}
        void setText(const QString &text) override
        {
            if (m_log)
                m_log->append(text);
        }

    private:
        QStringList *m_log;
    };
    Field m_status{&statusTexts};
    Field m_display{nullptr};
    double m_value = 0;
    double m_max = 0;
};
