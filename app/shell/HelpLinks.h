#pragma once

// The help actions and the notification settings. The manual ships with the
// program (PREFIX/share/vellumor/manual/vellumor-user-manual/index.html);
// its URLs keep the fixed paths, queries and fragment of the help links:
// "/vellumor-user-manual/?MenuHelp" and
// "/vellumor-user-manual/?SnapshotsHelp=#IncrementalSnapshot".
// Opening reports nothing when the desktop cannot open the page.

#include <QStringList>
#include <QUrl>

namespace HelpLinks {

// The manual's folder: PREFIX/share/vellumor/manual.
QString manualRoot();
QUrl menuHelpUrl(const QString &root = manualRoot());
QUrl snapshotsHelpUrl(const QString &root = manualRoot());

void menuOpenHelp();
void clickedSnapshotsHelp();

// The command that opens the desktop's notification settings for
// XDG_CURRENT_DESKTOP (GNOME, KDE); empty where none is known.
QStringList notificationSettingsCommand(const QString &currentDesktop);
// Runs it, without waiting; does nothing on other desktops.
void configureNotificationsInSystemPreferencesClicked();

} // namespace HelpLinks
