#pragma once

// Recording stand-ins for the window controls MFTaskDelegate writes.

#include "MFTaskDelegate.h"
#include "ProgressControls.h"

#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <vector>

struct FakeProgressIndicator : ProgressIndicator
{
    double current = 0;
    double maximum = 0;
    bool indeterminate = false;
    int animationStops = 0;
    double value() const override { return current; }
    void setValue(double value) override { current = value; }
    double maxValue() const override { return maximum; }
    void setMaxValue(double maxValue) override { maximum = maxValue; }
    void setIndeterminate(bool on) override { indeterminate = on; }
    void stopAnimation() override { ++animationStops; }
};

struct FakeTextField : TextField
{
    QString text;
    QStringList history;
    void setText(const QString &newText) override
    {
        text = newText;
        history.append(newText);
    }
};

struct FakeTextView : TextView
{
    QString text;
    void appendPlainText(const QString &more) override { text += more; }
};

struct FakeImageView : ImageView
{
    int clears = 0;
    void clearImage() override { ++clears; }
};

struct FakeShowableControl : ShowableControl
{
    int shows = 0;
    void show() override { ++shows; }
};

struct FakeAnimationView : TransferAnimationView
{
    QStringList filePaths;
    QStringList partialPaths;
    std::vector<std::optional<int>> percents;
    std::vector<IconInstances> iconInstanceChanges;
    std::vector<double> xs;
    std::optional<bool> finderCopy;
    double width = 300;

    void setFilePath(const QString &path) override { filePaths.append(path); }
    void setPartialPath(const QString &line) override { partialPaths.append(line); }
    void setPercent(std::optional<int> percent) override { percents.push_back(percent); }
    void setIsFinderCopy(bool on) override { finderCopy = on; }
    void setIconInstances(IconInstances instances) override { iconInstanceChanges.push_back(instances); }
    void setX(double x) override { xs.push_back(x); }
    double frameWidth() const override { return width; }
};

struct FakeAlertPresenter : AlertPresenter
{
    struct Alert
    {
        QString message;
        QString informativeText;
        QString button;
    };
    std::vector<Alert> alerts;
    std::function<void()> whileShown;
    void runModalAlert(const QString &message, const QString &informativeText, const QString &button) override
    {
        alerts.push_back({message, informativeText, button});
        if (whileShown)
            whileShown();
    }
};

// A delegate wired to a full set of fakes.
struct DelegateFixture
{
    MFTaskDelegate delegate;
    FakeProgressIndicator progress;
    FakeTextField jobState;
    FakeTextField displayText;
    FakeTextView outputView;
    FakeImageView fileIcon;
    FakeShowableControl modeSelector;
    FakeAnimationView view;
    FakeAlertPresenter alerts;

    DelegateFixture()
    {
        delegate.setProgressBar(&progress);
        delegate.setJobState(&jobState);
        delegate.setAnimatingView(&view);
        delegate.setDisplayText(&displayText);
        delegate.setOutputView(&outputView);
        delegate.setFileIcon(&fileIcon);
        delegate.setDuplicateOrHardlinks(&modeSelector);
        delegate.setAlertPresenter(&alerts);
    }

    void out(const QByteArray &chunk) { delegate.taskDidRecieveData(chunk, nullptr); }
    void err(const QByteArray &chunk) { delegate.taskDidRecieveErrorData(chunk, nullptr); }

    // Runs the texts queued for the main thread.
    static void drainQueuedTexts() { QCoreApplication::sendPostedEvents(); }
};
