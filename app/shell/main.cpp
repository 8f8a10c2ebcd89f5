// vellumor: the main window over the backup controller.
#include "CheckAndSetAuthorization.h"
#include "MFTaskAppDelegate.h"
#include "TerminationSignals.h"
#include "VellumorApplication.h"

#include "Identifiers.h"
#include "SharedDefaults.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    // Started without a display (by the agent in a session without one), the
    // window goes to Qt's offscreen platform so scheduled jobs still run.
    const bool withoutDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (withoutDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumor"));
    QApplication::setOrganizationDomain(QStringLiteral("vellumor.org"));
    QApplication::setDesktopFileName(Vellumor::MainAppBundleId);

    // Type icons of the files in flight come from the desktop's theme; a
    // session that names none still gets the common one.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    VellumorApplicationOptions options;
    options.startup.arguments = app.arguments();
    // The window instance owns the application's bus name, by which the
    // agent tells whether it runs; a later start hands itself to it, a
    // file-manager copy runs beside it without the name.
    options.singleInstance = true;
    options.onScreen = !withoutDisplay;
    options.fitToScreen = true;
    // An account that copies with its own rights is told once what that
    // means, in a window it can see; later starts only log it.
    options.startup.rootRightsNotice = [withoutDisplay](bool canTell) -> std::optional<StartupNotice> {
        const QString notice
            = CheckAndSetAuthorization::rightsNoticeToTell(*getUserDefaults(), canTell && !withoutDisplay);
        if (notice.isEmpty())
            return std::nullopt;
        return StartupNotice{QStringLiteral("Vellumor copies with your own rights"), notice};
    };
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
        return vellumor.exitStatus();
    return app.exec();
}
