#pragma once

// Tells when a file system is mounted or unmounted: the kernel flags
// /proc/self/mountinfo with POLLPRI on every change of the mount table, so a
// QSocketNotifier of the exception kind wakes us without polling.
// What callers may rely on: volumesChanged() follows each change of the
// mount table, on the thread the watch lives in; without the file (not
// Linux, no /proc) nothing is ever reported.

#include <QObject>
#include <QString>

class QSocketNotifier;

class VolumeWatch final : public QObject
{
    Q_OBJECT
public:
    explicit VolumeWatch(const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"),
                         QObject *parent = nullptr);
    ~VolumeWatch() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void volumesChanged();

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
