#include "FinderCopyLayout.h"

#include "DisclosureLayouts.h"
#include "MainWindow.h"
#include "SchedulingPanel.h"
#include "VolumeMenus.h"

#include <QAction>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {

// Gap between the end of the transfer line and the start button.
constexpr int textToButton = 8;

} // namespace

FinderCopyGeometry FinderCopyLayout::geometry(const QSize &content, const FinderCopySizes &sizes)
{
    const int width = content.width();
    const int height = content.height();
    FinderCopyGeometry result;
    result.box = QRect(0, 0, width, height);
    result.animatingView = QRect(0, stripTop, width, stripHeight);
    result.jobState
        = QRect(textLeft, height - sizes.jobStateHeight, std::max(0, width - 2 * textLeft), sizes.jobStateHeight);
    result.progressBar = QRect(0, result.jobState.top() - sizes.progressBarHeight, width, sizes.progressBarHeight);
    result.startButton = QRect(QPoint(width - sizes.startButton.width(),
                                      result.progressBar.top() - progressBelowButton - sizes.startButton.height()),
                               sizes.startButton);
    result.displayText
        = QRect(textLeft, result.progressBar.top() - sizes.displayTextHeight,
                std::max(0, result.startButton.left() - textToButton - textLeft), sizes.displayTextHeight);
    return result;
}

FinderCopyLayout::FinderCopyLayout(QMainWindow &window, const MainWindowOutlets &outlets)
    : QObject(&window)
    , m_window(window)
    , m_outlets(outlets)
{}

FinderCopyLayout::~FinderCopyLayout() = default;

void FinderCopyLayout::apply()
{
    if (m_content)
        return;
    // Never shown: what is taken out of the window lives on here, so the
    // controller and the view can still set it without it reappearing.
    m_takenOut = std::make_unique<QWidget>();
    m_takenOut->setObjectName(QStringLiteral("takenOutOfCompactWindow"));
    const MainWindowOutlets &o = m_outlets;
    for (QWidget *widget : QList<QWidget *>{o.duplicateOrHardlinks, o.disclosureTriangle, o.schedulingView,
                                            o.popUpSourceList, o.popUpDestList, o.sourceButton, o.destButton, o.arrow,
                                            o.schedulingTextButton, o.helpButton, o.optionsButton})
        takeOut(widget);

    // The transfer line's two-line place belongs to the full window.
    o.displayText->setMinimumSize(0, 0);
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("compactContent"));
    m_content->setMinimumHeight(contentHeight);
    // Stacked in this order: the box at the back, the strip over it, and
    // every control in front of the strip, which would otherwise take
    // their clicks (a click on the strip switches the animation).
    for (QWidget *widget :
         QList<QWidget *>{o.box, o.transferArea, o.displayText, o.startButton, o.progressBar, o.jobState})
        keep(widget);
    // The transfer line starts 20 from the left edge, so it reads from there.
    o.displayText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The rest of the full layout (the picker names, the bottom line) goes
    // with the full content area; the menu bar goes, its quit shortcut stays.
    QWidget *fullContent = m_window.takeCentralWidget();
    m_window.setCentralWidget(m_content);
    takeOut(fullContent);
    m_window.menuBar()->hide();
    m_window.addAction(o.quitAction);
    m_content->installEventFilter(this);

    m_window.layout()->activate();
    m_window.resize(m_window.width(), contentHeight);
    place();
    m_window.update();
}

void FinderCopyLayout::takeOut(QWidget *widget)
{
    if (!widget)
        return;
    const bool hidden = widget->isHidden();
    widget->setParent(m_takenOut.get());
    widget->setVisible(!hidden);
}

void FinderCopyLayout::keep(QWidget *widget)
{
    // setParent() hides a widget and puts it in front of its new siblings.
    const bool hidden = widget->isHidden();
    widget->setParent(m_content);
    widget->setVisible(!hidden);
}

bool FinderCopyLayout::eventFilter(QObject *watched, QEvent *event)
{
    // A new size of the window or of a control's size hint (the start
    // button's title changes), or a new direction, places the controls again.
    if (watched == m_content
        && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest
            || event->type() == QEvent::LayoutDirectionChange))
        place();
    return QObject::eventFilter(watched, event);
}

void FinderCopyLayout::place()
{
    const MainWindowOutlets &o = m_outlets;
    FinderCopySizes sizes;
    sizes.startButton = o.startButton->sizeHint().expandedTo(o.startButton->minimumSize());
    sizes.progressBarHeight = o.progressBar->sizeHint().height();
    // The status line keeps its two-line height whatever its text; an empty
    // transfer line keeps the height of one.
    sizes.jobStateHeight
        = o.jobState->minimumHeight() > 0 ? o.jobState->minimumHeight() : o.jobState->sizeHint().height();
    sizes.displayTextHeight = std::max(o.displayText->sizeHint().height(), o.displayText->fontMetrics().height());
    const FinderCopyGeometry at = geometry(m_content->size(), sizes);
    // Right-to-left layouts mirror the whole arrangement.
    const auto put = [this](QWidget *widget, const QRect &rect) {
        widget->setGeometry(QStyle::visualRect(m_content->layoutDirection(), m_content->rect(), rect));
    };
    put(o.box, at.box);
    put(o.transferArea, at.animatingView);
    put(o.startButton, at.startButton);
    put(o.progressBar, at.progressBar);
    put(o.jobState, at.jobState);
    put(o.displayText, at.displayText);
}
