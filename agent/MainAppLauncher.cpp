#include "MainAppLauncher.h"

#include "BundleLocation.h"
#include "Identifiers.h"

#include <QDBusConnectionInterface>
#include <QProcess>

#include <cerrno>
#include <csignal>

QString BundleMainAppLauncher::bundleProgram()
{
    return vellumorPrefix() + QStringLiteral("/bin/vellumor");
}

QProcessEnvironment BundleMainAppLauncher::launchEnvironment(const QProcessEnvironment &agentEnvironment)
{
    QProcessEnvironment environment = agentEnvironment;
    const bool hasDisplay = !environment.value(QStringLiteral("DISPLAY")).isEmpty()
        || !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    if (!hasDisplay)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

BundleMainAppLauncher::BundleMainAppLauncher(const QDBusConnection &sessionBus, QString program)
    : m_bus(sessionBus)
    , m_program(std::move(program))
{}

bool BundleMainAppLauncher::startedInstanceIsAlive() const
{
    // Detached children are reaped by init, so a pid that still answers
    // signal 0 is the instance itself (or, rarely, its reused pid, which
    // only delays a start to the next check).
    return m_startedPid > 0 && (::kill(pid_t(m_startedPid), 0) == 0 || errno == EPERM);
}

bool BundleMainAppLauncher::isMainAppRunning()
{
    QDBusConnectionInterface *bus = m_bus.interface();
    if (bus && bus->isServiceRegistered(Vellumor::MainAppBundleId).value())
        return true;
    return startedInstanceIsAlive();
}

bool BundleMainAppLauncher::launch()
{
    QProcess process;
    process.setProgram(m_program);
    process.setArguments({QStringLiteral("daemonLaunched")});
    process.setProcessEnvironment(launchEnvironment(QProcessEnvironment::systemEnvironment()));
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        qWarning("Cannot start %s: %s", qPrintable(m_program), qPrintable(process.errorString()));
        return false;
    }
    m_startedPid = pid;
    return true;
}
