#pragma once

// The window controls MFTaskDelegate writes, as small interfaces so the
// progress code builds and is tested without QtWidgets. The window (or the
// terminal front end, or a test) implements them; MFTaskDelegate never owns
// them, and callers must keep each control alive while the delegate holds it.
//
// What callers may rely on: every method is called on the main thread only,
// and a method is called only when the delegate has that control set.

#include <QString>

#include <optional>

// The main window's progress bar.
class ProgressIndicator
{
public:
    virtual ~ProgressIndicator() = default;
    virtual double value() const = 0;
    virtual void setValue(double value) = 0;
    virtual double maxValue() const = 0;
    virtual void setMaxValue(double maxValue) = 0;
    virtual void setIndeterminate(bool indeterminate) = 0;
    virtual void stopAnimation() = 0;
};

// A one-line or two-line text field (`jobState`, `displayText`).
class TextField
{
public:
    virtual ~TextField() = default;
    virtual void setText(const QString &text) = 0;
};

// The console text view (`outputView`).
class TextView
{
public:
    virtual ~TextView() = default;
    virtual void appendPlainText(const QString &text) = 0;
};

// The file icon (`fileIcon`).
class ImageView
{
public:
    virtual ~ImageView() = default;
    virtual void clearImage() = 0;
};

// A control that can be shown again (the mode selector `duplicateOrHardlinks`).
class ShowableControl
{
public:
    virtual ~ShowableControl() = default;
    virtual void show() = 0;
};

// The animated transfer view, as far as progress reporting drives it.
class TransferAnimationView
{
public:
    // "None" draws nothing until a new list is given; "Empty" starts the
    // moving icons over from their initial positions.
    enum class IconInstances { None, Empty };

    virtual ~TransferAnimationView() = default;
    virtual void setFilePath(const QString &path) = 0;
    virtual void setPartialPath(const QString &line) = 0;
    // std::nullopt clears the percent shown under the icon.
    virtual void setPercent(std::optional<int> percent) = 0;
    virtual void setIsFinderCopy(bool isFinderCopy) = 0;
    virtual void setIconInstances(IconInstances instances) = 0;
    // The pulse moves x from 0 to the view's width; each change redraws.
    virtual void setX(double x) = 0;
    virtual double frameWidth() const = 0;
};

// Shows a modal alert with one button and returns once the user dismissed it.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;
    virtual void runModalAlert(const QString &message, const QString &informativeText, const QString &buttonTitle) = 0;
};
