#pragma once

// One window instance per session: the first start owns the application's
// bus name (MainAppBundleId) and exports the Instance interface; a later
// start hands its arguments to that one and ends, so a due job is never run
// by two processes at once.
//
// What callers may rely on:
//  - claim() answers First when this process now owns the name (it hears
//    every later start through activated()), HandedOver when another process
//    owns it and has taken the arguments, NoBus without a session bus
//    (nothing to share), or Unanswered when the owner did not take them
//    (failure() says why); an owner that has just ended is claimed from;
//  - activated() is emitted on this object's thread, once per later start,
//    before that start's call returns;
//  - the name and the object are given up when this object goes.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Claim { First, HandedOver, NoBus, Unanswered };

    explicit SingleInstance(const QDBusConnection &bus, QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim(const QStringList &arguments);
    QString failure() const { return m_failure; }

    // The exported method (the generated adaptor calls it).
    void Activate(const QStringList &arguments);

Q_SIGNALS:
    void activated(const QStringList &arguments);

private:
    QDBusConnection m_bus;
    bool m_exported = false;
    bool m_ownsName = false;
    QString m_failure;
};
