// UPower and logind standing in for the system's, on the bus that
// DBUS_SYSTEM_BUS_ADDRESS names (a private one of the test's own).
// Arguments choose which services to provide ("upower", "logind"). Prints
// "ready" once its names are claimed; then reads commands from standard
// input, answering "ok" to each once its signal is sent:
//   battery on|off   sets OnBattery and sends PropertiesChanged
//   sleep | wake     sends PrepareForSleep(true) | PrepareForSleep(false)
//   lid              sends PropertiesChanged for a property other than OnBattery
//   charge           sends PropertiesChanged for the display device's charge
//   inhibitors       answers "inhibitors " and the locks still held, each
//                    "WHAT|MODE|WHO|WHY", sorted and joined by ";" (logind's
//                    Inhibit hands out one end of a pipe; a lock is held until
//                    its holder closes that end)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString upowerInterface = QStringLiteral("org.freedesktop.UPower");

class FakeUPower : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower")
    Q_PROPERTY(bool OnBattery READ onBattery)
public:
    bool onBattery() const { return m_onBattery; }
    void setOnBattery(bool onBattery) { m_onBattery = onBattery; }

private:
    bool m_onBattery = false;
};

class FakeLogin1 : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    // The locks whose holder has not closed its end.
    QStringList held()
    {
        QStringList locks;
        for (auto it = m_locks.begin(); it != m_locks.end();) {
            pollfd peer{it->first, 0, 0};
            if (::poll(&peer, 1, 0) == 1 && (peer.revents & POLLHUP)) {
                ::close(it->first);
                it = m_locks.erase(it);
            } else {
                locks << it->second;
                ++it;
            }
        }
        locks.sort();
        return locks;
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        m_locks.append({ends[0], QStringList{what, mode, who, why}.join(u'|')});
        QDBusUnixFileDescriptor handed(ends[1]); // a copy goes to the caller
        ::close(ends[1]);
        return handed;
    }

private:
    QList<std::pair<int, QString>> m_locks;
};

void sendPropertiesChanged(const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(upowerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << upowerInterface << changed << QStringList();
    QDBusConnection::systemBus().send(signal);
}

void sendPrepareForSleep(bool start)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    signal << start;
    QDBusConnection::systemBus().send(signal);
}

void answer(const char *text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList services = app.arguments().mid(1);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return 2;
    FakeUPower upower;
    if (services.contains(u"upower"_s)) {
        bus.registerObject(upowerPath, &upower, QDBusConnection::ExportAllProperties);
        if (!bus.registerService(QStringLiteral("org.freedesktop.UPower")))
            return 3;
    }
    FakeLogin1 login1;
    if (services.contains(u"logind"_s)) {
        bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &login1, QDBusConnection::ExportAllSlots);
        if (!bus.registerService(QStringLiteral("org.freedesktop.login1")))
            return 4;
    }
    answer("ready");

    // Raw reads with a line buffer of our own: a buffered stream could take
    // in several commands while the notifier tells of only one.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QString line = QString::fromLatin1(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (line.startsWith(u"battery "_s)) {
                upower.setOnBattery(line.endsWith(u"on"_s));
                sendPropertiesChanged({{QStringLiteral("OnBattery"), upower.onBattery()}});
            } else if (line == u"lid"_s) {
                sendPropertiesChanged({{QStringLiteral("LidIsPresent"), true}});
            } else if (line == u"charge"_s) {
                QDBusMessage signal = QDBusMessage::createSignal(
                    QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"),
                    QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
                signal << QStringLiteral("org.freedesktop.UPower.Device")
                       << QVariantMap{{QStringLiteral("Percentage"), 55.0}} << QStringList();
                bus.send(signal);
            } else if (line == u"sleep"_s || line == u"wake"_s) {
                sendPrepareForSleep(line == u"sleep"_s);
            } else if (line == u"inhibitors"_s) {
                answer(qPrintable(u"inhibitors "_s + login1.held().join(u';')));
                continue;
            }
            // A round trip to the bus: the signal is out before we say so.
            bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
            answer("ok");
        }
    });
    return app.exec();
}

#include "FakeSystemServicesMain.moc"
