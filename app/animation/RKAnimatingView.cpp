#include "RKAnimatingView.h"

#include "AnimationPreference.h"
#include "DisplayName.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace {

// The name and percent are drawn at 12 units in the strip's own units, like
// its squares, so the name fits the band the icon leaves at the top.
QFont stripFont()
{
    QFont font(QStringLiteral("Helvetica Neue")); // fontconfig substitutes a close face
    font.setPixelSize(12);
    return font;
}

QRectF iconTarget(const InstanceLayout &layout, const QPixmap &pixmap)
{
    // Centred on the icon's place, its bottom on the square's bottom edge.
    const QSizeF size = pixmap.deviceIndependentSize();
    const QPointF topLeft(layout.icon.center().x() - size.width() / 2, layout.icon.bottom() - size.height());
    return QRectF(topLeft, size);
}

// The icon at side x side units. QIcon never returns a pixmap larger than
// asked but may return a smaller one (a theme with small sizes only); that
// one is scaled up once here rather than at every frame.
QPixmap renderedIcon(const QIcon &icon, int side, qreal devicePixelRatio)
{
    QPixmap pixmap = icon.pixmap(QSize(side, side), devicePixelRatio);
    const int wanted = int(std::lround(side * devicePixelRatio));
    if (!pixmap.isNull() && pixmap.width() < wanted && pixmap.height() < wanted) {
        pixmap = pixmap.scaled(wanted, wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(devicePixelRatio);
    }
    return pixmap;
}

} // namespace

RKAnimatingView::RKAnimatingView(QWidget *parent) : QWidget(parent), m_iconSource(std::make_unique<DesktopIconSource>())
{
    m_texts.setFont(stripFont());
    setAccessibleName(tr("Transfer animation"));
    setAccessibleDescription(tr("Files being copied. Click to hide or show the animation."));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

RKAnimatingView::~RKAnimatingView() = default;

void RKAnimatingView::setFilePath(const QString &path)
{
    m_animation.setFilePath(path);
}

void RKAnimatingView::setPartialPath(const QString &line)
{
    m_animation.setPartialPath(line);
}

void RKAnimatingView::setPercent(std::optional<int> percent)
{
    m_animation.setPercent(percent);
}

void RKAnimatingView::setIsFinderCopy(bool isFinderCopy)
{
    m_animation.setIsFinderCopy(isFinderCopy);
    updateGeometry();
}

void RKAnimatingView::setIconInstances(IconInstances instances)
{
    if (instances == IconInstances::None)
        m_animation.setIconInstances(std::nullopt);
    else
        m_animation.setIconInstances(TransferAnimation::Instances());
}

void RKAnimatingView::setX(double x)
{
    m_pulseX = x;
    update();
}

void RKAnimatingView::setY(double y)
{
    m_pulseY = y;
    update();
}

double RKAnimatingView::frameWidth() const
{
    return width();
}

void RKAnimatingView::setIconSource(std::unique_ptr<TransferIconSource> source)
{
    m_iconSource = std::move(source);
}

QSize RKAnimatingView::sizeHint() const
{
    return QSize(480, preferredStripHeight(m_animation.geometry()));
}

QSize RKAnimatingView::minimumSizeHint() const
{
    return QSize(100, preferredStripHeight(m_animation.geometry()));
}

void RKAnimatingView::paintEvent(QPaintEvent *)
{
    ++m_repaintCount;
    if (!AnimationPreference::isShown())
        return;
    const TransferAnimation::DrawList drawn = m_animation.advance(width());
    if (!drawn.isEmpty())
        drawInstances(drawn);
}

void RKAnimatingView::drawInstances(const TransferAnimation::DrawList &drawn)
{
    const AnimationGeometry &g = m_animation.geometry();
    QVarLengthArray<InstanceLayout, 8> layouts;
    for (int index : drawn) {
        AnimatedIconInstance &instance = m_animation.getInstance(index);
        if (!instance.icon.isValid())
            lookUpIconAndName(instance);
        layouts.append(layoutInstance(g, instance.offsetX, height()));
    }

    QPainter painter(this);
    painter.setOpacity(g.opacity);
    // Every icon lies behind every name and percent, and a lower-numbered
    // icon in front of a higher-numbered one: the stacking of drawing each
    // icon "destination-over" onto a clear layer, painted back to front here
    // so that it also holds on the window's opaque backing store.
    for (qsizetype k = drawn.size() - 1; k >= 0; --k) {
        const QPixmap pixmap = m_animation.getInstance(drawn[k]).icon.value<QPixmap>();
        painter.drawPixmap(iconTarget(layouts[k], pixmap).topLeft(), pixmap);
    }

    m_texts.setDevicePixelRatio(devicePixelRatioF());
    for (qsizetype k = 0; k < drawn.size(); ++k) {
        const AnimatedIconInstance &instance = m_animation.getInstance(drawn[k]);
        const InstanceLayout &layout = layouts[k];
        painter.drawPixmap(layout.square.topLeft(), m_texts.name(drawn[k], instance.name, layout.square.width()));
        if (instance.percentComplete) {
            painter.drawPixmap(layout.percent.topLeft(),
                               m_texts.percent(drawn[k], *instance.percentComplete, layout.percent.width()));
        }
    }
}

void RKAnimatingView::lookUpIconAndName(AnimatedIconInstance &instance)
{
    const AnimationGeometry &g = m_animation.geometry();
    const bool byType = m_animation.isFinderCopy();
    const QString partialPath = instance.partialPath.value_or(QString());
    const QIcon icon = byType ? m_iconSource->iconForFileType(pathExtension(partialPath))
                              : m_iconSource->iconForFile(*instance.iconPath);
    // Rendered once at the size it is drawn (the icon image scaled into the
    // square), so each frame is a plain copy of the pixmap.
    const QRectF target = layoutInstance(g, 0, 0).icon;
    const int side = int(std::lround(target.width()));
    instance.icon = QVariant::fromValue(renderedIcon(icon, side, devicePixelRatioF()));
    instance.name = byType ? lastPathComponent(partialPath) : displayNameForPath(*instance.iconPath);
}

void RKAnimatingView::mousePressEvent(QMouseEvent *event)
{
    AnimationPreference::toggle();
    // Shows the new state at once instead of at the next status tick.
    update();
    event->accept();
}
