#pragma once

// The compact window of a file-manager copy: only the transfer strip, the
// start button (reading "Stop" while the copy runs), the transfer line, the
// progress bar and the status line stay; the window becomes as wide as it
// was and 100 points high.
//
// What callers may rely on:
//  - apply() takes the mode choice, the disclosure triangle and its label,
//    the scheduling panel, both volume menus, the source and destination
//    buttons, the arrow, and the help and options buttons out of the window
//    (with the rest of the full layout: the picker names, the bottom line,
//    the menu bar). They keep existing, owned by this object and never
//    shown, so the controller and the view may still set them;
//  - the kept controls keep their shown or hidden state;
//  - the strip lies behind every other control, so the start button stays
//    clickable over it;
//  - the quit shortcut still works without the menu bar;
//  - apply() acts once; later calls do nothing.

#include <QObject>
#include <QRect>
#include <QSize>

#include <memory>

class QMainWindow;
class QWidget;
struct MainWindowOutlets;

// The sizes the compact layout takes from the kept controls.
struct FinderCopySizes
{
    QSize startButton;
    int progressBarHeight = 0;
    int jobStateHeight = 0;
    int displayTextHeight = 0;
};

// Where each kept control goes in a content area of the given size.
struct FinderCopyGeometry
{
    QRect box;
    QRect animatingView;
    QRect startButton;
    QRect progressBar;
    QRect jobState;
    QRect displayText;

    friend bool operator==(const FinderCopyGeometry &, const FinderCopyGeometry &) = default;
};

class FinderCopyLayout final : public QObject
{
    Q_OBJECT
public:
    static constexpr int contentHeight = 100;
    static constexpr int stripTop = 20;
    static constexpr int stripHeight = 100;
    static constexpr int progressBelowButton = 3;
    static constexpr int textLeft = 20;

    // Pure: the layout's rules over plain sizes. The strip spans the full
    // width, 100 high and 20 from the top even where the content is lower
    // (it yields: the content clips it); the bar spans the full width on
    // top of the status line, which sits on the bottom edge; the start
    // button sits on the right edge 3 above the bar; the transfer line
    // starts 20 from the left directly above the bar and ends before the
    // button.
    static FinderCopyGeometry geometry(const QSize &content, const FinderCopySizes &sizes);

    FinderCopyLayout(QMainWindow &window, const MainWindowOutlets &outlets);
    ~FinderCopyLayout() override;

    void apply();
    // The compact content area, once applied.
    QWidget *content() const { return m_content; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeOut(QWidget *widget);
    void keep(QWidget *widget);
    void place();

    QMainWindow &m_window;
    const MainWindowOutlets &m_outlets;
    std::unique_ptr<QWidget> m_takenOut;
    QWidget *m_content = nullptr;
};
