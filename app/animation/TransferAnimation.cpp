#include "TransferAnimation.h"

AnimatedIconInstance &TransferAnimation::getInstance(int index)
{
    AnimatedIconInstance fresh;
    fresh.offsetX = -animationInstanceSpacing * index;
    if (!m_instances) {
        m_detached = fresh;
        return m_detached;
    }
    if (index >= 0 && index < m_instances->size())
        return (*m_instances)[index];
    m_instances->append(fresh);
    return m_instances->last();
}

void TransferAnimation::setIsFinderCopy(bool isFinderCopy)
{
    if (isFinderCopy == m_isFinderCopy)
        return;
    m_isFinderCopy = isFinderCopy;
    if (m_instances) {
        for (AnimatedIconInstance &instance : *m_instances)
            forgetLookUp(instance);
    }
}

void TransferAnimation::forgetLookUp(AnimatedIconInstance &instance)
{
    instance.icon.clear();
    instance.name.clear();
}

TransferAnimation::DrawList TransferAnimation::advance(double viewWidth)
{
    DrawList drawn;
    // Between copies there is nothing to show; making and moving throwaway
    // instances would only cost icon lookups for squares left of the view.
    if (!m_instances)
        return drawn;

    const AnimationGeometry &g = geometry();
    for (int i = 0; i < g.instanceCount; ++i) {
        AnimatedIconInstance &instance = getInstance(i);
        instance.offsetX += animationStepPerRedraw;
        if (instance.offsetX > viewWidth) {
            instance.offsetX = g.reentryPosition();
            forgetLookUp(instance);
        }
        if (instance.offsetX <= g.pickUpThreshold()) {
            // Wholly left of the view: nothing to draw yet, so the icon is
            // looked up once the last pick-up of this trip is done.
            pickUp(instance);
            continue;
        }
        if (instance.iconPath && !instance.iconPath->isEmpty())
            drawn.append(i);
    }
    return drawn;
}

void TransferAnimation::pickUp(AnimatedIconInstance &instance) const
{
    if (!m_filePath)
        return;
    if (!m_filePath->isEmpty())
        instance.iconPath = *m_filePath;
    if (!m_partialPath.isEmpty())
        instance.partialPath = m_partialPath;
    // With no percent at hand the instance keeps the one of its last trip.
    if (m_percent)
        instance.percentComplete = m_percent;
    forgetLookUp(instance);
}

QString lastPathComponent(const QString &path)
{
    qsizetype end = path.size();
    if (end == 0)
        return path;
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    if (slash < 0 || end == 1)
        return path.left(end);
    return path.mid(slash + 1, end - slash - 1);
}

QString pathExtension(const QString &path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1)
        return QString();
    return name.mid(dot + 1);
}
