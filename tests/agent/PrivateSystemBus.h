#pragma once

// A system bus of the test's own: a dbus-daemon started for the test process,
// reached through its address (as DBUS_SYSTEM_BUS_ADDRESS for child
// processes), with stand-ins for UPower and logind served by another process
// that the test drives line by line.

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class PrivateSystemBus
{
public:
    PrivateSystemBus()
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments(
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
        m_daemon.start();
        if (m_daemon.waitForStarted(30000) && m_daemon.waitForReadyRead(30000))
            m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    }
    ~PrivateSystemBus()
    {
        for (const QString &name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(30000);
    }

    bool isValid() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }

    // A connection of this process to the bus, under a name of its own.
    QDBusConnection connect(const QString &name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

    QProcessEnvironment environmentFor(QProcessEnvironment environment) const
    {
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        return environment;
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

class FakeSystemServices
{
public:
    // services: "upower", "logind" or both.
    FakeSystemServices(const PrivateSystemBus &bus, const QStringList &services)
    {
        m_process.setProcessEnvironment(bus.environmentFor(QProcessEnvironment::systemEnvironment()));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(FAKE_SYSTEM_SERVICES), services);
        m_ready = waitForLine("ready");
    }
    ~FakeSystemServices()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(30000))
            m_process.kill();
    }

    bool isReady() const { return m_ready; }

    // Sends the command and returns once its signal is on the bus.
    bool command(const char *line)
    {
        m_process.write(line);
        m_process.write("\n");
        return waitForLine("ok");
    }

    // Sends the command and returns its one-line answer.
    QString query(const char *line)
    {
        m_process.write(line);
        m_process.write("\n");
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return {};
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

private:
    bool waitForLine(const char *expected)
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        return m_process.readLine().trimmed() == expected;
    }

    QProcess m_process;
    bool m_ready = false;
};
