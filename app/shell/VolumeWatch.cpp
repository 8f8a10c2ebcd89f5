#include "VolumeWatch.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

VolumeWatch::VolumeWatch(const QString &mountInfoPath, QObject *parent) : QObject(parent)
{
    m_fd = ::open(mountInfoPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    drain();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        drain();
        Q_EMIT volumesChanged();
    });
}

VolumeWatch::~VolumeWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void VolumeWatch::drain()
{
    // The flag is cleared by reading the table again from its start.
    char buffer[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    while (::read(m_fd, buffer, sizeof buffer) > 0) {}
}
