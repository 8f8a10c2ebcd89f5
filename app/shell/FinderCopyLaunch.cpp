#include "FinderCopyLaunch.h"

#include "FinderCopyHandOver.h"
#include "MFTaskAppDelegate.h"
#include "MFTaskAppView.h"
#include "MainWindow.h"

bool startFinderCopy(const FinderCopyRequest &request, MFTaskAppDelegate &controller, MainWindow &window,
                     MFTaskAppView &view)
{
    controller.isFinderCopy = true;
    window.setUIForFinderCopy();
    if (!request.refusedItems.isEmpty()) {
        // The process exists for this copy alone: it says why nothing was
        // copied and quits once that has been read.
        const QString refusal = finderCopyRefusalText(request);
        qWarning("%s", qUtf8Printable(refusal));
        controller.taskDelegate()->showStatus(refusal);
        view.showAlert(QStringLiteral("Can't paste"), refusal);
        view.terminateAfterAlerts();
        return true;
    }
    controller.backupSources = request.sources;
    controller.backupDest = request.destination;
    if (controller.backupSources.isEmpty()) {
        qInfo("no backup source, quitting\n");
        view.terminateApplication();
        return false;
    }
    // Both sides are set, so the start button may be used: it reads "Stop"
    // during the copy and must stop it.
    view.setStartButtonEnabled(true);
    controller.taskDelegate()->setSourcePath(controller.backupSources.first());
    controller.startBackup();
    return true;
}
