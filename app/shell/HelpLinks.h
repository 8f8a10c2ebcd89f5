#pragma once

// The help actions and the notification settings. The manual ships with the
// program (PREFIX/share/vellumor/manual/vellumor-user-manual/index.html);
// its URLs keep the fixed paths, queries and fragment of the help links:
// "/vellumor-user-manual/?MenuHelp" and
// "/vellumor-user-manual/?SnapshotsHelp=#IncrementalSnapshot".
// The desktop's opener shows a page; when there is none, or nothing on the
// desktop can show it (no web browser), the manual opens in a window of our
// own instead.

#include <QDialog>
#include <QStringList>
#include <QUrl>

class QTextBrowser;

namespace HelpLinks {

// The manual in a window of the program's own, at the section a URL names.
class ManualWindow final : public QDialog
{
    Q_OBJECT
public:
    explicit ManualWindow(QWidget *parent = nullptr);
    void showPage(const QUrl &url);
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};

// Shows (and raises) the process's one manual window at `url`.
ManualWindow *showManualWindow(const QUrl &url, QWidget *parent);
// Runs `opener` (the desktop's xdg-open) on `url` without waiting; the
// manual window opens instead when the opener is missing, cannot start or
// reports failure.
void openManual(const QUrl &url, QWidget *parent, const QString &opener = QStringLiteral("xdg-open"));

// The manual's folder: PREFIX/share/vellumor/manual.
QString manualRoot();
QUrl menuHelpUrl(const QString &root = manualRoot());
QUrl snapshotsHelpUrl(const QString &root = manualRoot());

void menuOpenHelp(QWidget *parent);
void clickedSnapshotsHelp(QWidget *parent);

// The command that opens the desktop's notification settings for
// XDG_CURRENT_DESKTOP (GNOME, KDE); empty where none is known.
QStringList notificationSettingsCommand(const QString &currentDesktop);
// Runs it, without waiting, and answers true; where it is unknown or not
// installed, a message on `parent` says the settings cannot be opened and
// false comes back.
bool configureNotificationsInSystemPreferencesClicked(QWidget *parent);

} // namespace HelpLinks
