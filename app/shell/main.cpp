// vellumor: the main window over the backup controller.
#include "MFTaskAppDelegate.h"
#include "TerminationSignals.h"
#include "VellumorApplication.h"

#include "Identifiers.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

int main(int argc, char **argv)
{
    // Started without a display (by the agent in a session without one), the
    // window goes to Qt's offscreen platform so scheduled jobs still run.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumor"));
    QApplication::setOrganizationDomain(QStringLiteral("vellumor.org"));
    QApplication::setDesktopFileName(Vellumor::MainAppBundleId);

    // The agent tells whether the application runs by this name's owner; a
    // second instance (a file-manager copy) runs without it.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.registerService(Vellumor::MainAppBundleId);

    VellumorApplicationOptions options;
    options.startup.arguments = app.arguments();
    VellumorApplication vellumor(options);
    // A signal during a backup answers the quit question with "Quit": the
    // copy is stopped and the destination's ownership setting restored.
    TerminationSignals signals;
    QObject::connect(&signals, &TerminationSignals::received, &vellumor, [&vellumor] {
        MFTaskAppDelegate &controller = vellumor.controller();
        if (controller.isRunning())
            controller.quitOrCancel(1000);
        else
            vellumor.terminate();
    });
    if (!vellumor.start())
        return 0;
    return app.exec();
}
