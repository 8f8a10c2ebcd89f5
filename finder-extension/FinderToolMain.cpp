// vellumor-finder: carries out one file-manager "Copy" or "Paste" (see
// FinderTool.h) and exits. The file manager's own process stays free of Qt.
#include "FinderSyncController.h"
#include "FinderTool.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BundleApplicationLauncher launcher;
    return FinderTool::run(QCoreApplication::arguments(), launcher);
}
