#pragma once

// The object exported on the bus at the notifications path: emitting one of
// its signals sends the D-Bus signal of the same name (through the generated
// adaptor). Used only by DistributedNotificationCenter.

#include <QObject>
#include <QString>

class DistributedNotificationEmitter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void JOBTODO(const QString &object);
    void SCHEDULECHANGED(const QString &object);
    void VolumesChanged(const QString &object);
};
