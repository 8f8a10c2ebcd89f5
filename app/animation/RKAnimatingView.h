#pragma once

// The animated transfer strip: icons of the items in flight glide from left
// to right, each with its name above it and the copy program's percent for
// the file under it. The task delegate feeds it through
// TransferAnimationView; a click hides or shows it ("showAnimation").
//
// What callers may rely on:
//  - the setters only store, except setX()/setY(), which schedule one
//    repaint; each repaint (whatever its cause) is one step of the motion
//    rules in TransferAnimation, so the strip moves only while something
//    repaints it and does no work at all between status ticks;
//  - nothing is drawn while "showAnimation" is stored as false (and the
//    icons do not move), nor while there is no instance list;
//  - icons are looked up once per trip of an instance (see
//    TransferAnimation), never per frame;
//  - main thread only.

#include "ProgressControls.h"
#include "StripTextCache.h"
#include "TransferAnimation.h"
#include "TransferIconSource.h"

#include <QWidget>

#include <memory>

class RKAnimatingView : public QWidget, public TransferAnimationView
{
    Q_OBJECT
public:
    explicit RKAnimatingView(QWidget *parent = nullptr);
    ~RKAnimatingView() override;

    // TransferAnimationView
    void setFilePath(const QString &path) override;
    void setPartialPath(const QString &line) override;
    void setPercent(std::optional<int> percent) override;
    // Finder-copy mode: seven smaller, fainter icons chosen by file type.
    void setIsFinderCopy(bool isFinderCopy) override;
    void setIconInstances(IconInstances instances) override;
    void setX(double x) override;
    double frameWidth() const override;

    // The pulse clock's second axis; nothing changes it but it repaints too.
    void setY(double y);
    // The pulse values (QWidget::x() and y() are the widget's position).
    double pulseX() const { return m_pulseX; }
    double pulseY() const { return m_pulseY; }

    // The motion state, for inspection and for callers that build their own
    // instance lists.
    TransferAnimation &animation() { return m_animation; }
    const TransferAnimation &animation() const { return m_animation; }

    // Replaces where icons come from (the desktop's by default).
    void setIconSource(std::unique_ptr<TransferIconSource> source);

    // Paint events received, drawn or not.
    quint64 repaintCount() const { return m_repaintCount; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void lookUpIconAndName(AnimatedIconInstance &instance);
    void drawInstances(const TransferAnimation::DrawList &drawn);

    TransferAnimation m_animation;
    std::unique_ptr<TransferIconSource> m_iconSource;
    StripTextCache m_texts;
    double m_pulseX = 0;
    double m_pulseY = 0;
    quint64 m_repaintCount = 0;
};
