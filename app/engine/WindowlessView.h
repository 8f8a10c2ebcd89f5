#pragma once

// The controller's view for a front end without a window: the terminal and
// the tests. Every control is a plain field holding what was last written;
// alerts, notifications, status texts and quit requests are recorded in
// order; folder choosers answer from a list given beforehand. A front end
// overrides the few calls it shows (the terminal prints alerts and redraws
// its status line).

#include "MFTaskAppView.h"
#include "ThinningRoomOffer.h"
#include "WindowlessScheduledJobView.h"

#include <QList>
#include <QString>
#include <QStringList>

class WindowlessView : public WindowlessScheduledJobView<MFTaskAppView>, public ProgressIndicator, public AlertPresenter
{
public:
    struct Alert
    {
        QString message;
        QString informativeText;
    };

    WindowlessView() = default;
    WindowlessView(const WindowlessView &) = delete;
    WindowlessView &operator=(const WindowlessView &) = delete;

    // Run view state.
    bool sourceButtonEnabled = true;
    bool destButtonEnabled = true;
    bool optionsButtonEnabled = true;
    bool helpButtonVisible = true;
    bool modeChoiceVisible = true;
    bool displayTextVisible = false;
    bool progressBarVisible = false;
    QList<Argument> rows;
    QString linkDestText;
    // Every text written to the status field (`jobState`), in order.
    QStringList statusTexts;
    QString lastDisplayText;
    double progressValue = 0;
    double progressMax = 0;
    bool progressIndeterminate = false;

    // Prompts.
    QStringList chooserAnswers;            // taken from the front, one per chooser
    QList<Alert> alerts;                   // sheets and modal alerts
    QList<Alert> notifications;            // banners: title and text
    QList<RoomOffer> roomOffers;           // offers to remove old snapshots
    std::function<void()> acceptRoomOffer; // the last offer's yes
    int quitQuestions = 0;
    int terminateRequests = 0;

    // BackupRunView
    void setStartButtonTitle(const QString &text) override { title = text; }
    int selectedModeRow() const override { return modeRow; }
    void setSourceButtonEnabled(bool enabled) override { sourceButtonEnabled = enabled; }
    void setDestButtonEnabled(bool enabled) override { destButtonEnabled = enabled; }
    void setOptionsButtonEnabled(bool enabled) override { optionsButtonEnabled = enabled; }
    void setHelpButtonVisible(bool visible) override { helpButtonVisible = visible; }
    void setModeChoiceVisible(bool visible) override { modeChoiceVisible = visible; }
    void setDisplayTextVisible(bool visible) override { displayTextVisible = visible; }
    void setProgressBarVisible(bool visible) override { progressBarVisible = visible; }
    void startProgressAnimation() override {}
    void setArgumentRows(const QList<Argument> &arguments) override { rows = arguments; }
    void setLinkDestText(const QString &text) override { linkDestText = text; }
    ProgressIndicator *progressBar() override { return this; }
    TextField *jobState() override { return &m_jobState; }
    TextField *displayText() override { return &m_displayText; }
    TransferAnimationView *animatingView() override { return nullptr; }

    // PromptView
    void showAlert(const QString &message, const QString &informativeText) override
    {
        alerts.append({message, informativeText});
    }
    void deliverUserNotification(const QString &title, const QString &text) override
    {
        notifications.append({title, text});
    }
    QString chooseFolder(bool, const QString &, const QString &) override
    {
        return chooserAnswers.isEmpty() ? QString() : chooserAnswers.takeFirst();
    }
    void askToQuitDuringBackup(const QString &, const QString &) override { ++quitQuestions; }
    void offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted) override
    {
        roomOffers.append(offer);
        acceptRoomOffer = std::move(accepted);
    }
    void terminateApplication() override { ++terminateRequests; }
    AlertPresenter *alertPresenter() override { return this; }

    // ProgressIndicator
    double value() const override { return progressValue; }
    void setValue(double value) override { progressValue = value; }
    double maxValue() const override { return progressMax; }
    void setMaxValue(double maxValue) override { progressMax = maxValue; }
    void setIndeterminate(bool indeterminate) override { progressIndeterminate = indeterminate; }
    void stopAnimation() override { progressIndeterminate = false; }

    // AlertPresenter: a modal alert is recorded like a sheet.
    void runModalAlert(const QString &message, const QString &informativeText, const QString &) override
    {
        showAlert(message, informativeText);
    }

protected:
    // What the status and display fields do with a new text.
    virtual void jobStateWritten(const QString &text) { statusTexts.append(text); }
    virtual void displayTextWritten(const QString &text) { lastDisplayText = text; }

private:
    class Field : public TextField
    {
    public:
        Field(WindowlessView *view, bool isStatus) : m_view(view), m_isStatus(isStatus) {}
        void setText(const QString &text) override
        {
            if (m_isStatus)
                m_view->jobStateWritten(text);
            else
                m_view->displayTextWritten(text);
        }

    private:
        WindowlessView *m_view;
        bool m_isStatus;
    };

    Field m_jobState{this, true};
    Field m_displayText{this, false};
};
