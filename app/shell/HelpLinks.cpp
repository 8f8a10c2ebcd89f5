#include "HelpLinks.h"

#include "BundleLocation.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace HelpLinks {

namespace {

QUrl manualUrl(const QString &root, const QString &query, const QString &fragment)
{
    QUrl url = QUrl::fromLocalFile(root + QStringLiteral("/vellumor-user-manual/index.html"));
    url.setQuery(query);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

} // namespace

QString manualRoot()
{
    return vellumorPrefix() + QStringLiteral("/share/vellumor/manual");
}

QUrl menuHelpUrl(const QString &root)
{
    return manualUrl(root, QStringLiteral("MenuHelp"), QString());
}

QUrl snapshotsHelpUrl(const QString &root)
{
    return manualUrl(root, QStringLiteral("SnapshotsHelp="), QStringLiteral("IncrementalSnapshot"));
}

void menuOpenHelp()
{
    QDesktopServices::openUrl(menuHelpUrl());
}

void clickedSnapshotsHelp()
{
    QDesktopServices::openUrl(snapshotsHelpUrl());
}

QStringList notificationSettingsCommand(const QString &currentDesktop)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "ubuntu:GNOME".
    const QStringList desktops = currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts);
    if (desktops.contains(QStringLiteral("GNOME")))
        return {QStringLiteral("gnome-control-center"), QStringLiteral("notifications")};
    if (desktops.contains(QStringLiteral("KDE")))
        return {QStringLiteral("systemsettings"), QStringLiteral("kcm_notifications")};
    return {};
}

void configureNotificationsInSystemPreferencesClicked()
{
    const QStringList command = notificationSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (command.isEmpty() || QStandardPaths::findExecutable(command.first()).isEmpty())
        return;
    QProcess::startDetached(command.first(), command.mid(1));
}

} // namespace HelpLinks
