#include "SupportFolder.h"

#include "Identifiers.h"
#include "Locations.h"

#include <QDir>
#include <QLoggingCategory>

namespace {

QString supportFolderFor(const QString &bundleIdentifier)
{
    const QString folder = Locations::userDataFolder() + u'/' + bundleIdentifier;
    // All parents are created too: on a fresh account ~/.local/share itself
    // may not exist yet, and the schedule could then never be saved.
    if (!QDir(folder).exists() && !QDir().mkpath(folder))
        qWarning("Cannot create the support folder %s", qPrintable(folder));
    return folder;
}

} // namespace

QString getApplicationSupportFolder()
{
    // Every Vellumor program shares the main application's folder; on this
    // platform the running program's identifier is not what names it.
    return supportFolderFor(Vellumor::MainAppBundleId);
}

QString getApplicationSupportFolderForMainApp()
{
    return supportFolderFor(Vellumor::MainAppBundleId);
}

QString scheduleFilePath()
{
    return getApplicationSupportFolder() + u'/' + Vellumor::ScheduleFileName;
}
